#include "backup/full_backup.h"

#include <algorithm>
#include <cstdio>

#include "backup/undo_backup.h"
#include "platform/file_reg_source.h"

namespace hs {

namespace {

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool AllDigits(TextView t) {
  return !t.empty() && std::all_of(t.begin(), t.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

Text MarkLine(std::size_t keys, std::size_t values) {
  return Text(kFullBackupMark) + ToText(static_cast<std::int64_t>(keys)) + u" keys, " +
         ToText(static_cast<std::int64_t>(values)) + u" values";
}

// The last non-empty line of a UTF-16LE file, from its last bytes.
Text LastLine(FileSystem& fs, TextView path) {
  FileInfo info;
  if (fs.GetFileInfo(path, &info) != err::kSuccess) return Text();
  constexpr std::uint64_t kTail = 4096;
  const std::uint64_t from = info.size > kTail ? (info.size - kTail) & ~std::uint64_t{1} : 0;
  std::vector<std::uint8_t> bytes;
  if (fs.ReadFileRange(path, from, kTail, &bytes) != err::kSuccess) return Text();
  std::size_t end = bytes.size() / 2;
  auto at = [&](std::size_t i) { return static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)); };
  while (end > 0 && (at(end - 1) == u'\r' || at(end - 1) == u'\n' || at(end - 1) == 0)) --end;
  std::size_t start = end;
  while (start > 0 && at(start - 1) != u'\n') --start;
  Text line;
  for (std::size_t i = start; i < end; ++i) line += at(i);
  return line;
}

// What a pass over a backup file found.
struct FileSummary {
  std::size_t keys = 0;
  std::size_t values = 0;
  bool machine = false;  // HKEY_LOCAL_MACHINE
  bool users = false;    // HKEY_CURRENT_USER or HKEY_USERS
  std::vector<RegTextKey> sample;
};

// Parses the file as a stream (memory for one key and the sample at a
// time), keeping every `step`-th key when step > 0. False with *detail when
// it cannot be read, does not parse, or lacks a root.
bool ReadAndParse(FileSystem& fs, TextView path, std::size_t step, FileSummary* out, Text* detail) {
  FileRegTextSource source(fs, path);
  RegTextError error;
  const bool ok = ParseRegTextStream(source, [&](RegTextKey&& key, RegTextError*) {
    out->machine = out->machine || key.root == kHkeyLocalMachine;
    // Windows' editor writes HKEY_CURRENT_USER and HKEY_USERS, Wine's only
    // HKEY_USERS (the current user under its SID).
    out->users = out->users || key.root == kHkeyCurrentUser || key.root == kHkeyUsers;
    out->values += key.values.size();
    if (step > 0 && out->keys % step == 0) out->sample.push_back(std::move(key));
    ++out->keys;
    return true;
  }, &error);
  if (source.failed()) {
    *detail = u"cannot read the file: " + ErrorText(source.error());
    return false;
  }
  if (!ok) {
    *detail = u"the file does not parse (line " + ToText(static_cast<std::int64_t>(error.line)) + u": " +
              FromUtf8(error.message) + u")";
    return false;
  }
  if (!out->machine || !out->users) {
    *detail = u"the file does not hold the whole registry (HKEY_LOCAL_MACHINE or the users' keys are missing)";
    return false;
  }
  return true;
}

// The counts of a mark line; false when it is not one.
bool ParseMark(TextView line, std::size_t* keys, std::size_t* values) {
  if (line.substr(0, kFullBackupMark.size()) != kFullBackupMark) return false;
  const std::string rest = ToUtf8(line.substr(kFullBackupMark.size()));
  unsigned long long k = 0, v = 0;
  char tail = 0;
  if (std::sscanf(rest.c_str(), "%llu keys, %llu values%c", &k, &v, &tail) != 2) return false;
  *keys = static_cast<std::size_t>(k);
  *values = static_cast<std::size_t>(v);
  return MarkLine(*keys, *values) == line;
}

}  // namespace

Text FormatBackupDate(const DateTime& t) {
  if (t.month < 1 || t.month > 12 || t.day_of_week < 0 || t.day_of_week > 6) return Text();
  const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s. %s %02d, %04d. %02d:%02d %s", kDays[t.day_of_week], kMonths[t.month - 1], t.day,
                t.year, hour12, t.minute, t.hour < 12 ? "AM" : "PM");
  return FromUtf8(buf);
}

std::vector<FullBackupEntry> ListFullBackups(FileSystem& fs, TextView data_folder) {
  std::vector<FullBackupEntry> out;
  std::vector<DirEntry> entries;
  if (fs.ListDirectory(data_folder, &entries) != err::kSuccess) return out;
  for (const DirEntry& e : entries) {
    if (e.is_directory || e.name == u"." || e.name == u"..") continue;
    const std::size_t reg = e.name.find(u"reg");
    if (reg == Text::npos || reg + 3 != e.name.size()) continue;
    FullBackupEntry b;
    b.name = e.name;
    b.path = Text(data_folder) + u"\\" + e.name;
    const std::size_t dot = e.name.find(u'.');
    if (dot != Text::npos && dot <= 18 && AllDigits(TextView(e.name).substr(0, dot))) {
      b.dated = true;
      for (std::size_t i = 0; i < dot; ++i) b.seconds = b.seconds * 10 + (e.name[i] - u'0');
    }
    out.push_back(std::move(b));
  }
  std::sort(out.begin(), out.end(), [](const FullBackupEntry& a, const FullBackupEntry& b) {
    return Upcase(a.name) < Upcase(b.name);
  });
  return out;
}

bool CheckFullBackupFile(FileSystem& fs, TextView path, std::vector<RegTextKey>* sample, std::size_t* keys,
                         Text* detail) {
  std::size_t marked_keys = 0, marked_values = 0;
  if (!ParseMark(LastLine(fs, path), &marked_keys, &marked_values)) {
    *detail = u"the file is not a complete full backup (its closing line is missing: cut short?)";
    return false;
  }
  FileSummary summary;
  const std::size_t step = std::max<std::size_t>(1, marked_keys / kRestoreSampleKeys);
  if (!ReadAndParse(fs, path, sample ? step : 0, &summary, detail)) return false;
  if (summary.keys != marked_keys || summary.values != marked_values) {
    *detail = u"the file does not hold what its closing line counts (" +
              MarkLine(marked_keys, marked_values).substr(kFullBackupMark.size()) + u"; found " +
              MarkLine(summary.keys, summary.values).substr(kFullBackupMark.size()) + u")";
    return false;
  }
  if (sample) *sample = std::move(summary.sample);
  if (keys) *keys = summary.keys;
  return true;
}

FullBackupResult MakeFullBackup(FullBackupEnv& env) {
  FullBackupResult r;
  if (!env.fs.IsDirectory(env.data_folder)) {
    r.status = FullBackupStatus::kNoDataFolder;
    r.detail = u"the data folder does not exist";
    env.log.LogLine(u"Full backup: " + r.detail);
    return r;
  }
  std::int64_t seconds = env.clock.UtcSeconds();
  while (env.fs.Exists(env.data_folder + u"\\" + ToText(seconds) + u".reg")) ++seconds;
  const Text path = env.data_folder + u"\\" + ToText(seconds) + u".reg";
  // Not listed while it is written: "reg" does not end the name.
  const Text temp = path + u".tmp";
  if (env.fs.Exists(temp)) (void)env.fs.DeleteFile(temp);
  auto fail = [&](FullBackupStatus status, Text detail) {
    (void)env.fs.DeleteFile(temp);
    r.status = status;
    r.detail = std::move(detail);
    env.log.LogLine(u"Full backup failed: " + r.detail);
    return r;
  };
  const RegImportOutcome out = env.editor.ExportAll(temp, kWholeExportWaitMs);
  if (!out.started) return fail(FullBackupStatus::kExportFailed, u"the registry editor could not be started");
  if (!out.finished) return fail(FullBackupStatus::kExportFailed, u"the registry editor did not finish the export");
  if (out.exit_code != 0) {
    return fail(FullBackupStatus::kExportFailed,
                u"the registry editor failed (exit status " + ToText(static_cast<std::int64_t>(out.exit_code)) + u")");
  }
  FileSummary summary;
  Text detail;
  if (!ReadAndParse(env.fs, temp, 0, &summary, &detail)) return fail(FullBackupStatus::kIncomplete, detail);
  const Text mark = u"\r\n" + MarkLine(summary.keys, summary.values) + u"\r\n";
  std::vector<std::uint8_t> mark_bytes;
  for (char16_t c : mark) {
    mark_bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    mark_bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  std::unique_ptr<AppendFile> file;
  WinError e = env.fs.OpenAppend(temp, &file);
  if (!e) e = file->Append(mark_bytes);
  file.reset();
  if (!e) e = env.fs.MoveFile(temp, path, false);
  if (e) return fail(FullBackupStatus::kCannotKeep, u"cannot keep the backup: " + ErrorText(e));
  r.status = FullBackupStatus::kOk;
  r.path = path;
  env.log.LogLine(u"Full backup written: " + LogSafe(path) + u" (" + ToText(static_cast<std::int64_t>(summary.keys)) +
                  u" keys)");
  return r;
}

FullRestoreResult RestoreFullBackupFile(FullBackupEnv& env, TextView path) {
  FullRestoreResult r;
  auto done = [&](FullRestoreStatus status, Text detail) {
    r.status = status;
    r.detail = std::move(detail);
    env.log.LogLine(u"Full restore of " + LogSafe(path) + u": " + (r.detail.empty() ? Text(u"done") : r.detail));
    return r;
  };
  if (!env.fs.Exists(path) || env.fs.IsDirectory(path)) return done(FullRestoreStatus::kMissing, u"the file does not exist");
  RegTextDocument sample;
  Text detail;
  if (!CheckFullBackupFile(env.fs, path, &sample.keys, &r.keys, &detail)) return done(FullRestoreStatus::kDamaged, detail);
  const RegImportOutcome out = env.editor.ImportAll(path, kWholeImportWaitMs);
  if (!out.started) return done(FullRestoreStatus::kEditorNotStarted, u"the registry editor could not be started");
  if (!out.finished || out.exit_code != 0) {
    return done(FullRestoreStatus::kNotFinished, out.finished ? u"the registry editor failed (exit status " +
                                                                    ToText(static_cast<std::int64_t>(out.exit_code)) + u")"
                                                              : Text(u"the registry editor did not finish"));
  }
  // The sample is spread over the whole file; it is read in the view the editor wrote.
  r.checked = sample.keys.size();
  const Text diff = FirstImportDifference(env.registry, sample, env.windows64 ? kKeyWow64_64Key : 0);
  if (!diff.empty()) return done(FullRestoreStatus::kDiffers, u"after the import, " + diff);
  return done(FullRestoreStatus::kOk, Text());
}

}  // namespace hs
