// hs_make_blank_hive: writes a blank registry hive file (root key "ROOT").
//
//   hs_make_blank_hive OUT [--with-sample-keys]
//
// With --with-sample-keys, hivex then opens the blank hive for writing and
// adds the key Sample holding Text (REG_SZ "Hello, hive"), Number
// (REG_DWORD 0x12345678) and Blob (REG_BINARY 00 01 7F FF). Exit codes: 0
// written, 1 a write or hivex step failed, 2 bad arguments.
#include <hivex.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/portable/blank_hive.h"

namespace {

// 100 ns units between 1601-01-01 and 1970-01-01.
constexpr std::uint64_t kFiletimeUnixEpoch = 116444736000000000ULL;

std::uint64_t NowFiletime() {
  const auto since_1970 = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return kFiletimeUnixEpoch + static_cast<std::uint64_t>(since_1970.count()) * 10;
}

bool WriteFile(const char* path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  f.close();
  return static_cast<bool>(f);
}

bool SetValue(hive_h* h, hive_node_h node, const char* name, hive_type type, std::vector<std::uint8_t> data) {
  std::string key = name;
  hive_set_value v{};
  v.key = key.data();
  v.t = type;
  v.len = data.size();
  v.value = reinterpret_cast<char*>(data.data());
  return hivex_node_set_value(h, node, &v, 0) == 0;
}

bool AddSampleKeys(const char* path) {
  hive_h* h = hivex_open(path, HIVEX_OPEN_WRITE);
  if (h == nullptr) {
    std::fprintf(stderr, "hivex cannot open %s: %s\n", path, std::strerror(errno));
    return false;
  }
  bool ok = false;
  const hive_node_h key = hivex_node_add_child(h, hivex_root(h), "Sample");
  if (key != 0) {
    std::vector<std::uint8_t> text;
    for (char c : std::string("Hello, hive")) {
      text.push_back(static_cast<std::uint8_t>(c));
      text.push_back(0);
    }
    text.push_back(0);
    text.push_back(0);
    ok = SetValue(h, key, "Text", hive_t_REG_SZ, text) &&
         SetValue(h, key, "Number", hive_t_REG_DWORD, {0x78, 0x56, 0x34, 0x12}) &&
         SetValue(h, key, "Blob", hive_t_REG_BINARY, {0x00, 0x01, 0x7F, 0xFF}) && hivex_commit(h, path, 0) == 0;
  }
  if (!ok) std::fprintf(stderr, "hivex cannot add the sample keys to %s: %s\n", path, std::strerror(errno));
  if (hivex_close(h) != 0) ok = false;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  bool sample = false;
  const char* out = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--with-sample-keys") == 0) {
      sample = true;
    } else if (argv[i][0] != '-' && out == nullptr) {
      out = argv[i];
    } else {
      out = nullptr;
      break;
    }
  }
  if (out == nullptr) {
    std::fprintf(stderr, "usage: hs_make_blank_hive OUT [--with-sample-keys]\n");
    return 2;
  }
  std::vector<std::uint8_t> hive;
  if (!hs::MakeBlankHive(u"ROOT", NowFiletime(), &hive)) return 1;
  if (!WriteFile(out, hive)) {
    std::fprintf(stderr, "cannot write %s\n", out);
    return 1;
  }
  if (sample && !AddSampleKeys(out)) return 1;
  return 0;
}
