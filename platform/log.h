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

// Data from outside (registry names, file paths) for a log line: CR, LF and
// the Unicode line separators become spaces, so it cannot forge lines.
inline Text LogSafe(TextView text) {
  Text out(text);
  for (auto& c : out)
    if (c == u'\r' || c == u'\n' || c == 0x85 || c == 0x2028 || c == 0x2029) c = u' ';
  return out;
}

class NullLog final : public Log {
 public:
  void LogLine(TextView) override {}
};

}  // namespace hs
