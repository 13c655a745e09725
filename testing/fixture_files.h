// Files of the source tree for tests (the committed shortcut files and the
// like), read on the host natively and through Wine's "\\?\unix" paths in
// the win32 build (the test prefix has no drive onto the host).
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "testing/test_env.h"

namespace hs::testing {

// `relative` uses '/' separators. False when the file cannot be read.
inline bool ReadSourceFile(const std::string& relative, std::vector<std::uint8_t>* out) {
  std::string host = SourceDir() + "/" + relative;
#ifdef _WIN32
  std::wstring w = L"\\\\?\\unix";
  for (char c : host) w.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
  std::ifstream in(std::filesystem::path(w), std::ios::binary);
#else
  std::ifstream in(host, std::ios::binary);
#endif
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace hs::testing
