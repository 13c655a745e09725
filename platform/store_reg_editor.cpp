#include "platform/store_reg_editor.h"

#include <string>

#include "platform/reg_text.h"

namespace hs {

RegImportOutcome StoreRegEditor::Import(TextView path, bool is64) {
  RegImportOutcome outcome;
  outcome.started = true;
  outcome.finished = true;
  outcome.exit_code = 1;
  std::vector<std::uint8_t> bytes;
  if (WinError e = fs_.ReadFile(path, kMaxRegTextBytes, &bytes)) {
    log_.LogLine(u"Registry import: cannot read " + LogSafe(path) + u": " + ErrorText(e));
    return outcome;
  }
  RegTextDocument doc;
  RegTextError error;
  if (!ParseRegText(bytes.data(), bytes.size(), &doc, &error)) {
    log_.LogLine(u"Registry import: " + LogSafe(path) + u":" + ToText(static_cast<std::int64_t>(error.line)) +
                 u": " + FromUtf8(error.message));
    return outcome;
  }
  const std::uint32_t view = windows64_ ? (is64 ? kKeyWow64_64Key : kKeyWow64_32Key) : 0;
  int line = 0;
  if (WinError e = ApplyRegText(registry_, doc, view, &line)) {
    log_.LogLine(u"Registry import: " + LogSafe(path) + u":" + ToText(static_cast<std::int64_t>(line)) +
                 u": the registry refused the entry: " + ErrorText(e));
    return outcome;
  }
  outcome.exit_code = 0;
  return outcome;
}

}  // namespace hs
