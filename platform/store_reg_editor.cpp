#include "platform/store_reg_editor.h"

#include <string>

#include "platform/file_reg_source.h"
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

// Streamed: a whole registry is applied key by key as it is read.
RegImportOutcome StoreRegEditor::ImportAll(TextView path, std::uint32_t) {
  RegImportOutcome outcome{true, true, 1};
  const std::uint32_t view = windows64_ ? kKeyWow64_64Key : 0;
  FileRegTextSource source(fs_, path);
  RegTextError error;
  const bool ok = ParseRegTextStream(source, [&](RegTextKey&& key, RegTextError* e) {
    int line = 0;
    if (WinError refused = ApplyRegTextKey(registry_, key, view, &line)) {
      e->line = line;
      e->message = "the registry refused the entry: " + ToUtf8(ErrorText(refused));
      return false;
    }
    return true;
  }, &error);
  if (!ok) {
    log_.LogLine(u"Registry import: " + LogSafe(path) + u":" + ToText(static_cast<std::int64_t>(error.line)) + u": " +
                 FromUtf8(error.message));
    return outcome;
  }
  outcome.exit_code = 0;
  return outcome;
}

RegImportOutcome StoreRegEditor::ExportAll(TextView path, std::uint32_t) {
  RegImportOutcome outcome;
  outcome.started = true;
  outcome.finished = true;
  outcome.exit_code = 1;
  const std::uint32_t view = windows64_ ? kKeyWow64_64Key : 0;
  Text text(kRegTextHeaderLine);
  for (RegKey root : {kHkeyLocalMachine, kHkeyCurrentUser, kHkeyUsers}) {
    if (WinError e = ExportRegText(registry_, root, RegRootName(root), u"", view, /*lossless=*/true, false, &text)) {
      log_.LogLine(u"Registry export: cannot read " + Text(RegRootName(root)) + u": " + ErrorText(e));
      return outcome;
    }
  }
  const std::vector<std::uint8_t> bytes = EncodeRegFile(text);
  if (fs_.Exists(path)) (void)fs_.DeleteFile(path);
  std::unique_ptr<WritableFile> file;
  WinError e = fs_.CreateNewFile(path, &file);
  if (!e) e = file->Write(bytes);
  if (!e) e = file->Close();
  if (e) {
    file.reset();
    (void)fs_.DeleteFile(path);
    log_.LogLine(u"Registry export: cannot write " + LogSafe(path) + u": " + ErrorText(e));
    return outcome;
  }
  outcome.exit_code = 0;
  return outcome;
}

}  // namespace hs
