// A Log that keeps its lines in memory, for tests. Thread-safe.
#pragma once

#include <mutex>
#include <vector>

#include "platform/log.h"

namespace hs {

class MemoryLog final : public Log {
 public:
  void LogLine(TextView text) override {
    std::lock_guard<std::mutex> lock(mu_);
    try {
      lines_.emplace_back(text);
    } catch (...) {
      // Out of memory: the line is dropped, as the Log contract allows.
    }
  }

  std::vector<Text> Lines() const {
    std::lock_guard<std::mutex> lock(mu_);
    return lines_;
  }

  void Clear() {
    std::lock_guard<std::mutex> lock(mu_);
    lines_.clear();
  }

 private:
  mutable std::mutex mu_;
  std::vector<Text> lines_;
};

}  // namespace hs
