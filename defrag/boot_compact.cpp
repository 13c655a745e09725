#include "defrag/boot_compact.h"

#include "defrag/hive_analysis.h"
#include "defrag/parameter_file.h"
#include "platform/hive_limits.h"

namespace hs {

BootCompactionOutcome RunBootCompaction(Hives& hives, HiveFileCompactor& compactor) {
  BootCompactionOutcome out;
  const Text path = hives.Folders().system_dir + u"\\" + Text(kParameterFileName);
  std::vector<std::uint8_t> bytes;
  if (WinError e = hives.ReadFile(path, kMaxParameterFileBytes, &bytes)) {
    out.lines.push_back(path + u": cannot be read (error " + ToText(e) + u")");
    return out;
  }
  ParameterFile file;
  std::string why;
  if (ParseParameterFile(bytes, ParameterForm::kWritten, &file, &why) != ParameterParse::kOk) {
    out.lines.push_back(path + u": not a parameter file (" + FromUtf8(why) + u")");
    return out;
  }
  if (file.status != kCompactionPending) {
    out.lines.push_back(path + u": nothing pending (status " + ToText(file.status) + u")");
    out.status = file.status;
    return out;
  }
  out.ran = true;
  const std::vector<DriveDevice> drives = hives.FixedDrives();
  const HiveFolders folders = hives.Folders();
  bool all = true;
  ParameterFile back;
  back.version = file.version;
  for (const ParameterRecord& r : file.records) {
    const Text hive = ResolveHivePath(r.path, drives, folders, [&](TextView p) { return hives.Exists(p); });
    std::uint64_t before = 0, after = 0;
    Text error;
    const bool ok = !hive.empty() && hives.FileSize(hive, &before) == err::kSuccess && compactor.CompactInPlace(hive, &error) &&
                    hives.FileSize(hive, &after) == err::kSuccess;
    if (!ok) {
      all = false;
      out.lines.push_back(r.name + u": not compacted: " + (error.empty() ? u"the file is missing" : error));
      after = before;
    } else {
      out.lines.push_back(r.name + u": " + ToText(static_cast<std::int64_t>(before)) + u" -> " +
                          ToText(static_cast<std::int64_t>(after)) + u" bytes");
    }
    const auto clamp = [](std::uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v); };
    back.records.push_back({r.name, hive.empty() ? r.path : hive, clamp(before), clamp(after)});
  }
  back.count = static_cast<std::uint32_t>(back.records.size());
  back.status = all ? kCompactionSucceeded : kCompactionFailed;
  out.status = back.status;
  if (WinError e = hives.WriteFile(path, EncodeParameterFile(back, ParameterForm::kReadBack))) {
    out.lines.push_back(path + u": the results cannot be written (error " + ToText(e) + u")");
    out.status = 0;
  }
  return out;
}

}  // namespace hs
