#include "platform/portable/portable_single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>

namespace hs {

PortableSingleInstance::PortableSingleInstance(std::string lock_folder) : folder_(std::move(lock_folder)) {
  if (folder_.empty()) {
    std::error_code ec;
    folder_ = std::filesystem::temp_directory_path(ec).string();
    if (ec) folder_ = "/tmp";
  }
}

PortableSingleInstance::~PortableSingleInstance() {
  if (fd_ >= 0) close(fd_);
}

bool PortableSingleInstance::AnotherInstanceRuns(TextView name) {
  // A file name from the lock name: letters and digits kept, the rest '_'.
  std::string file = "hivesweep-" + std::to_string(getuid()) + "-";
  for (char16_t c : name) file.push_back((c < 128 && std::isalnum(static_cast<int>(c))) ? static_cast<char>(c) : '_');
  const std::string path = folder_ + "/" + file + ".lock";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return true;  // cannot take the lock: behave as the second instance
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return true;
  }
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
  return false;
}

}  // namespace hs
