// URL history port: removes one address from the browser history.
//
// Win32UrlHistory (platform/win32) asks the system's URL history storage
// (needs COM initialised on the calling thread). MemoryUrlHistory keeps a
// history in memory and remembers what was removed. Safe from any thread.
#pragma once

#include <mutex>
#include <set>

#include "platform/text.h"
#include "platform/win_error.h"

namespace hs {

class UrlHistory {
 public:
  virtual ~UrlHistory() = default;
  // 0 when the address is no longer in the history.
  [[nodiscard]] virtual WinError DeleteUrl(TextView url) = 0;
};

class MemoryUrlHistory final : public UrlHistory {
 public:
  void Add(TextView url) {
    std::lock_guard<std::mutex> lock(mu_);
    urls_.insert(Text(url));
  }
  bool Contains(TextView url) const {
    std::lock_guard<std::mutex> lock(mu_);
    return urls_.count(Text(url)) != 0;
  }
  [[nodiscard]] WinError DeleteUrl(TextView url) override {
    std::lock_guard<std::mutex> lock(mu_);
    if (urls_.erase(Text(url)) == 0) return err::kFileNotFound;
    removed_.insert(Text(url));
    return err::kSuccess;
  }
  // Puts back everything removed.
  void Restore() {
    std::lock_guard<std::mutex> lock(mu_);
    urls_.insert(removed_.begin(), removed_.end());
    removed_.clear();
  }

 private:
  mutable std::mutex mu_;
  std::set<Text> urls_;
  std::set<Text> removed_;
};

}  // namespace hs
