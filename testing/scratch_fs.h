// A temporary folder on the build's real file system adapter (Win32 under
// Wine, the host adapter natively, where it is mapped as drive C:), removed
// when the object goes away.
#pragma once

#include <filesystem>
#include <system_error>

#include "testing/test_env.h"
#ifdef _WIN32
#include "platform/win32/win32_file_system.h"
#else
#include "platform/portable/host_file_system.h"
#endif

namespace hs::testing {

class ScratchFs {
 public:
  explicit ScratchFs(const char* prefix = "hs_scratch") {
    host_ = std::filesystem::temp_directory_path() / ToUtf8(UniqueName(prefix));
    std::filesystem::create_directories(host_);
#ifdef _WIN32
    const std::wstring w = host_.wstring();
    root_.assign(w.begin(), w.end());
    while (!root_.empty() && root_.back() == u'\\') root_.pop_back();
#else
    fs_.MapDrive(u'C', host_);
    root_ = u"C:";
#endif
  }
  ~ScratchFs() {
    std::error_code ec;
    std::filesystem::remove_all(host_, ec);
  }
  ScratchFs(const ScratchFs&) = delete;
  ScratchFs& operator=(const ScratchFs&) = delete;

  FileSystem& fs() { return fs_; }
  // The folder as a Windows path, without a trailing backslash.
  const Text& root() const { return root_; }
  Text Path(TextView relative) const { return root_ + u"\\" + Text(relative); }
  const std::filesystem::path& host() const { return host_; }

 private:
  std::filesystem::path host_;
  Text root_;
#ifdef _WIN32
  Win32FileSystem fs_;
#else
  HostFileSystem fs_;
#endif
};

}  // namespace hs::testing
