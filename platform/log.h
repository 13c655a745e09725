// The sink for diagnostic lines: components take a Log& and write to it from
// any thread. LogLine never fails and never throws; a line that cannot be
// kept is dropped.
#pragma once

#include "platform/text.h"

namespace hs {

class Log {
 public:
  virtual ~Log() = default;
  virtual void LogLine(TextView text) = 0;
};

class NullLog final : public Log {
 public:
  void LogLine(TextView) override {}
};

}  // namespace hs
