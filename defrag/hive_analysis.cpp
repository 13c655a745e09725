#include "defrag/hive_analysis.h"

#include <algorithm>
#include <cstdio>

#include "engine/archive.h"
#include "platform/hive_limits.h"

namespace hs {
namespace {

std::uint32_t Clamp32(std::uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v); }

Text WithExtension(TextView path, TextView ext) {
  const std::size_t slash = path.find_last_of(u'\\');
  const std::size_t dot = path.find_last_of(u'.');
  if (dot == TextView::npos || (slash != TextView::npos && dot < slash)) return Text(path) + Text(ext);
  return Text(path.substr(0, dot)) + Text(ext);
}

// The path with its first folder (after the drive) dropped: "\rest".
Text AfterFirstFolder(TextView relative) {
  const std::size_t next = relative.find(u'\\', 1);
  return next == TextView::npos ? Text() : Text(relative.substr(next));
}

}  // namespace

bool AnalysedHive(TextView name) {
  static constexpr TextView kLeftOut[] = {u"\\MACHINE\\SYSTEM",     u"\\SCHEMA",       u"\\SOFTWARE",
                                          u"\\MACHINE\\BCD",        u"\\MACHINE\\COMPONENTS",
                                          u"\\USER\\.DEFAULT",      u"\\MACHINE\\HARDWARE"};
  const Text upper = Upcase(name);
  return std::none_of(std::begin(kLeftOut), std::end(kLeftOut),
                      [&](TextView part) { return upper.find(part) != Text::npos; });
}

bool HiveRecordFromName(TextView name, HiveRecord* out) {
  const Text lower = Lowercase(name);
  static constexpr TextView kMachine = u"\\machine\\", kUser = u"\\user\\";
  if (std::size_t at = lower.find(kMachine); at != Text::npos) {
    out->root = static_cast<std::uint32_t>(kHkeyLocalMachine);
    out->subKey = lower.substr(at + kMachine.size());
  } else if (std::size_t u = lower.find(kUser); u != Text::npos) {
    out->root = static_cast<std::uint32_t>(kHkeyUsers);
    out->subKey = lower.substr(u + kUser.size());
  } else {
    return false;
  }
  out->kind = 0;
  if (lower.find(u"registry\\machine\\security") != Text::npos) out->kind = static_cast<std::uint32_t>(HiveKind::kSecurity);
  else if (lower.find(u"registry\\machine\\sam") != Text::npos) out->kind = static_cast<std::uint32_t>(HiveKind::kSam);
  else if (lower.find(u"registry\\user\\") != Text::npos) out->kind = static_cast<std::uint32_t>(HiveKind::kUser);
  out->hiveName = Text(name);
  return !out->subKey.empty();
}

Text ResolveHivePath(TextView path, const std::vector<DriveDevice>& drives, const HiveFolders& folders,
                     const std::function<bool(TextView)>& exists) {
  Text drive_path;
  if (path.find(u':') != TextView::npos) {
    drive_path = Text(path);
  } else {
    for (const DriveDevice& d : drives) {
      if (!d.device.empty() && StartsWithNoCase(path, d.device) && path.size() > d.device.size() &&
          path[d.device.size()] == u'\\') {
        drive_path = d.drive + Text(path.substr(d.device.size()));
        break;
      }
    }
  }
  if (drive_path.size() < 3 || drive_path[1] != u':' || exists(drive_path)) return drive_path;
  const Text relative = drive_path.substr(2);  // "\folder\..."
  std::vector<Text> candidates;
  if (folders.system_dir.size() >= 2) candidates.push_back(folders.system_dir.substr(0, 2) + relative);
  const Text rest = AfterFirstFolder(relative);
  if (!rest.empty()) {
    if (!folders.windows_dir.empty()) candidates.push_back(folders.windows_dir + rest);
    const Text first = Lowercase(relative.substr(1, relative.find(u'\\', 1) - 1));
    const bool profiles = first.rfind(u"documents", 0) == 0 || first == u"users" || first.rfind(u"dokumente", 0) == 0;
    if (profiles && !folders.profiles_dir.empty()) candidates.push_back(folders.profiles_dir + rest);
    // A user's classes hive below the local application data of another layout.
    for (TextView local : {TextView(u"\\local settings\\application data"), TextView(u"\\appdata\\local")}) {
      const std::size_t at = Lowercase(relative).find(local);
      if (at != Text::npos && !folders.local_app_data.empty())
        candidates.push_back(folders.local_app_data + relative.substr(at + local.size()));
    }
  }
  for (const Text& c : candidates)
    if (exists(c)) return c;
  return drive_path;
}

Text HiveSizeText(std::uint64_t bytes) {
  char buf[64];
  const double kb = bytes / 1024.0, mb = kb / 1024.0, gb = mb / 1024.0;
  if (bytes < 1024) std::snprintf(buf, sizeof buf, "%d Bytes", static_cast<int>(bytes));
  else if (kb < 1024) std::snprintf(buf, sizeof buf, "%0.1f KB", kb);
  else if (mb < 1024) std::snprintf(buf, sizeof buf, "%0.2f MB", mb);
  else std::snprintf(buf, sizeof buf, "%0.2f GB", gb);
  return FromUtf8(buf);
}

CRegCompact::CRegCompact(Hives& hives, Clock& clock, Log& log) : hives_(hives), clock_(clock), log_(log) {}

CRegCompact::~CRegCompact() {
  if (!keep_copies_[0] || !keep_copies_[1]) DeleteCopies();
}

void CRegCompact::DeleteCopies() {
  for (const HiveRecord& r : records) {
    if (!r.copyPath.empty()) (void)hives_.DeleteFile(r.copyPath);
    if (!r.companionPath.empty()) (void)hives_.DeleteFile(r.companionPath);
  }
}

void CRegCompact::AnalyseHives(AnalysisProgress& progress, const StringLookup& strings) {
  count = 0;
  records.clear();
  const bool privileges = hives_.EnablePrivileges();
  privileges_[0] = privileges_[1] = privileges_[2] = privileges;
  if (!privileges) {
    log_.LogLine(u"Hive analysis: the backup, restore and shutdown privileges cannot be enabled");
    return;
  }
  hiveNames.clear();
  hiveFiles.clear();
  cleared.clear();
  records.clear();
  std::vector<LoadedHive> loaded;
  if (WinError e = hives_.ListLoaded(&loaded)) log_.LogLine(u"Hive analysis: hivelist unreadable, error " + ToText(e));
  for (const LoadedHive& h : loaded) {
    if (stopped()) return;
    if (!AnalysedHive(h.name)) continue;
    hiveNames.push_back(Upcase(h.name));
    hiveFiles.push_back(h.path);
  }
  hives_.FlushRoots();
  const HiveFolders folders = hives_.Folders();
  systemDir = folders.system_dir_short.empty() ? folders.system_dir : folders.system_dir_short;
  hives_.SetAnalysisPriority(true);

  count = static_cast<std::uint32_t>(hiveNames.size());
  progress.SetRange(count);
  progress.SetText(FormatNumbers(strings(u"IDS_REG_DEFRAG_KEY_COUNT"), {count}));

  const Text copy_folder = folders.windows_dir + u"\\" + Text(kAnalysisCopyFolder);
  const bool have_folder = !folders.windows_dir.empty() && hives_.CreateFolder(copy_folder) == err::kSuccess;
  std::uint32_t unique = static_cast<std::uint32_t>(clock_.TickMs() & 0xFFFF);
  const std::vector<DriveDevice> drives = hives_.FixedDrives();
  for (std::size_t i = 0; i < hiveNames.size(); ++i) {
    HiveRecord r;
    if (!HiveRecordFromName(hiveNames[i], &r)) continue;
    r.hiveName = hiveNames[i];
    r.filePath = ResolveHivePath(hiveFiles[i], drives, folders, [&](TextView p) { return hives_.Exists(p); });
    if (have_folder) {
      r.copyPath = copy_folder + u"\\" + r.subKey + u".bak";
    } else {
      Text temp;
      if (hives_.TempFileName(systemDir, kAnalysisTempPrefix, unique & 0xFFFF, &temp) == err::kSuccess) r.copyPath = temp;
      unique = (unique + 3 + ((unique >> 1) & 1)) & 0xFFFF;
    }
    if (!r.copyPath.empty()) {
      r.companionPath = WithExtension(r.copyPath, u".bac");
      (void)hives_.DeleteFile(r.copyPath);
    }
    records.push_back(std::move(r));
  }
  count = static_cast<std::uint32_t>(records.size());

  for (std::size_t i = 0; i < records.size(); ++i) {
    clock_.SleepMs(kAnalysisPauseMs);
    progress.SetPosition(static_cast<std::uint32_t>(i));
    if (stopped()) break;
    HiveRecord& r = records[i];
    hives_.FlushRoots();
    const WinError e = r.copyPath.empty() ? err::kPathNotFound
                                          : hives_.SaveCompactCopy(static_cast<RegKey>(r.root), r.subKey, r.copyPath);
    r.saved = e == err::kSuccess ? 1 : 0;
    if (e) log_.LogLine(u"Hive analysis: " + LogSafe(r.hiveName) + u" not saved, error " + ToText(e));
    progress.SetPosition(static_cast<std::uint32_t>(i + 1));
    progress.SetText(FormatNumbers(strings(u"IDS_REG_DEFRAG_PROGRESS"), {static_cast<std::int64_t>((i + 1) * 100 / count)}));
  }
  hives_.SetAnalysisPriority(false);

  for (const HiveRecord& r : records)
    if (!r.companionPath.empty()) (void)hives_.DeleteFile(r.companionPath);
  for (HiveRecord& r : records) {
    std::uint64_t size = 0;
    r.fileSize = !r.filePath.empty() && hives_.FileSize(r.filePath, &size) == err::kSuccess ? Clamp32(size) : 0;
    size = 0;
    r.compactSize = r.saved && hives_.FileSize(r.copyPath, &size) == err::kSuccess ? Clamp32(size) : 0;
  }
}

AnalysisResults ShowResults(std::vector<HiveRecord>* records, std::uint32_t days_since_last_optimize,
                            const StringLookup& strings) {
  AnalysisResults out;
  std::uint64_t sum_file = 0;
  std::int64_t sum_gain = 0;
  for (HiveRecord& r : *records) {
    if (!r.saved && r.fileSize != 0) {
      r.saved = 1;
      r.compactSize = r.fileSize - 1;
    }
    if (!r.saved || r.fileSize == 0) continue;
    std::int64_t gain = std::int64_t{r.fileSize} - r.compactSize;
    if (gain < 1 || gain >= std::int64_t{r.fileSize}) gain = std::int64_t{r.compactSize} - r.fileSize;
    const std::int64_t percent = gain * 100 / r.fileSize;
    ResultRow row;
    row.hive_name = r.hiveName;
    row.fragmentation = FormatNumbers(strings(u"IDS_FRGMENTATION"), {percent});
    row.sizes = FormatText(strings(u"SCANTAB3LISTFILESIZE"), {HiveSizeText(r.fileSize), HiveSizeText(r.compactSize)});
    row.percent = static_cast<int>(std::clamp<std::int64_t>(percent, 0, 100));
    out.rows.push_back(std::move(row));
    sum_file += r.fileSize;
    sum_gain += gain;
  }
  out.total_file = sum_file;
  out.total_gain = sum_gain;
  out.overall = sum_file > 0 && sum_gain > 0 ? static_cast<double>(sum_gain) * 100.0 / static_cast<double>(sum_file) : 0;
  out.not_required = days_since_last_optimize <= kRecentOptimizeDays && out.overall < kRequiredGainPercent;
  return out;
}

Text FormatLocaleDateTime(const DateTime& t) {
  char buf[64];
  const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  std::snprintf(buf, sizeof buf, "%d/%d/%04d %d:%02d:%02d %s", t.month, t.day, t.year, hour12, t.minute, t.second,
                t.hour < 12 ? "AM" : "PM");
  return FromUtf8(buf);
}

bool ParseLocaleDateTime(TextView text, DateTime* out) {
  const std::string s = ToUtf8(Trim(text));
  int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0, used = 0;
  char ampm[3] = {};
  if (s.size() > 40 ||
      std::sscanf(s.c_str(), "%2d/%2d/%4d %2d:%2d:%2d %2[AMP]%n", &month, &day, &year, &hour, &minute, &second, ampm,
                  &used) != 7 ||
      static_cast<std::size_t>(used) != s.size())
    return false;
  const std::string m = ampm;
  if ((m != "AM" && m != "PM") || hour < 1 || hour > 12 || minute > 59 || second > 59 || month < 1 || month > 12 ||
      day < 1 || year < 1601 || year > 9999)
    return false;
  DateTime t;
  t.year = year;
  t.month = month;
  t.day = day;
  t.hour = hour % 12 + (m == "PM" ? 12 : 0);
  t.minute = minute;
  t.second = second;
  // The day must exist in its month.
  const DateTime back = CalendarTime(CalendarSeconds(t));
  if (back.day != day || back.month != month) return false;
  *out = t;
  return true;
}

std::uint32_t DaysSinceLastOptimize(TextView last_optimize_time, const DateTime& now) {
  DateTime last;
  if (last_optimize_time.empty() || !ParseLocaleDateTime(last_optimize_time, &last)) return kUnknownDays;
  constexpr std::int64_t kDay = 86400;
  // Each moment rounded up to a whole day.
  const auto ceil_day = [](std::int64_t s) { return s >= 0 ? (s + kDay - 1) / kDay : -((-s) / kDay); };
  const std::int64_t days = ceil_day(CalendarSeconds(now)) - ceil_day(CalendarSeconds(last));
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(days));
}

std::vector<std::uint8_t> EncodeAnalysisSummary(const AnalysisSummary& summary) {
  ArchiveWriter w;
  w.U32(static_cast<std::uint32_t>(summary.records.size()));
  for (const HiveRecord& r : summary.records) {
    w.U32(r.saved);
    w.U32(r.root);
    w.U32(r.compactSize);
    w.U32(r.fileSize);
    w.String(r.subKey);
    w.String(r.filePath);
    w.String(r.copyPath);
    w.String(r.companionPath);
    w.String(r.hiveName);
  }
  w.String(summary.analysis_time);
  w.String(summary.locale_time);
  return w.ok() ? w.Take() : std::vector<std::uint8_t>{};
}

bool ParseAnalysisSummary(std::span<const std::uint8_t> bytes, AnalysisSummary* out, std::string* error) {
  ArchiveReader r(bytes.data(), bytes.size());
  std::uint32_t n = 0;
  if (!r.U32(&n)) return *error = r.error(), false;
  // 16 bytes of numbers and five strings of at least one byte each.
  if (n > kMaxHiveRecords || n > r.remaining() / 21) return *error = "record count out of range", false;
  AnalysisSummary s;
  for (std::uint32_t i = 0; i < n; ++i) {
    HiveRecord h;
    if (!r.U32(&h.saved) || !r.U32(&h.root) || !r.U32(&h.compactSize) || !r.U32(&h.fileSize) || !r.String(&h.subKey) ||
        !r.String(&h.filePath) || !r.String(&h.copyPath) || !r.String(&h.companionPath) || !r.String(&h.hiveName))
      return *error = r.error(), false;
    HiveRecord named;
    if (HiveRecordFromName(h.hiveName, &named)) h.kind = named.kind;
    s.records.push_back(std::move(h));
  }
  if (!r.String(&s.analysis_time) || !r.String(&s.locale_time)) return *error = r.error(), false;
  *out = std::move(s);
  return true;
}

bool SaveAnalysisSummary(FileSystem& fs, TextView data_folder, const AnalysisSummary& summary) {
  const std::vector<std::uint8_t> bytes = EncodeAnalysisSummary(summary);
  if (bytes.empty() || fs.CreateDirectories(data_folder) != err::kSuccess) return false;
  const Text path = Text(data_folder) + u"\\" + Text(kSummaryFileName);
  if (WinError e = fs.DeleteFile(path); e && e != err::kFileNotFound) return false;
  std::unique_ptr<WritableFile> file;
  if (fs.CreateNewFile(path, &file) != err::kSuccess) return false;
  if (file->Write(bytes) != err::kSuccess || file->Close() != err::kSuccess) {
    (void)fs.DeleteFile(path);
    return false;
  }
  return true;
}

bool LoadAnalysisSummary(FileSystem& fs, TextView data_folder, AnalysisSummary* out) {
  std::vector<std::uint8_t> bytes;
  if (fs.ReadFile(Text(data_folder) + u"\\" + Text(kSummaryFileName), kMaxSummaryFileBytes, &bytes) != err::kSuccess)
    return false;
  std::string error;
  AnalysisSummary s;
  if (!ParseAnalysisSummary(bytes, &s, &error) || s.records.empty()) return false;
  *out = std::move(s);
  return true;
}

RestartSummary SummariseAfterRestart(const std::vector<HiveRecord>& stored, std::size_t reported_count) {
  RestartSummary s;
  s.hives = static_cast<std::uint32_t>(std::max(stored.size(), reported_count));
  for (const HiveRecord& r : stored) {
    if (!r.saved || r.fileSize == 0 || r.compactSize == 0) continue;
    const std::uint64_t larger = std::max(r.fileSize, r.compactSize), smaller = std::min(r.fileSize, r.compactSize);
    if (larger != smaller && r.fileSize >= larger - smaller) {
      s.total_before += r.fileSize;
      s.total_gained += larger - smaller;
    }
  }
  s.remaining_percent = s.total_before == 0 ? 100.0
                                            : 100.0 - static_cast<double>(s.total_gained) * 100.0 /
                                                          static_cast<double>(s.total_before);
  return s;
}

}  // namespace hs
