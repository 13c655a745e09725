#include "engine/results_file.h"

#include "engine/archive.h"
#include "engine/scan_manager.h"

namespace hs {

namespace {

Text ResultsPath(TextView data_folder) {
  Text path(data_folder);
  if (!path.empty() && path.back() != u'\\') path.push_back(u'\\');
  return path + Text(kResultsFileName);
}

// Whether a stored problem's entry still exists as it was.
bool StillThere(const ScanManager& manager, const CProblem& p) {
  RegKey root = 0;
  Text subkey;
  if (!SplitKeyPath(p.key, &root, &subkey)) return true;  // not a key path: kept unchecked
  const RegEnv& env = manager.reg();
  const bool is64 = p.entry32 == 0;
  KeyHolder key(env.registry);
  WinError e = key.Open(root, subkey, AccessMask(env.windows64, KeyAccess::kReadWrite, is64));
  // A key the user may not change still exists: read access tells.
  if (e == err::kAccessDenied) e = key.Open(root, subkey, AccessMask(env.windows64, KeyAccess::kRead, is64));
  if (e != err::kSuccess) return false;
  if (!p.value_name.empty()) return p.entry_type == 36 || ValueExists(env, key.get(), p.value_name);
  if (p.value_data.empty()) return true;
  if (p.entry_type == 13 || p.entry_type == 21) return true;
  Text text;
  (void)ReadStringValue(env, root, subkey, u"", is64 ? RegView::k64 : RegView::k32, &text);
  return EqualsNoCase(text, p.value_data);
}

bool ReadProblem(ArchiveReader& in, CProblem* p) {
  std::int32_t selected = 0, entry32 = 0;
  if (!in.I32(&p->entry_type) || !in.I32(&selected) || !in.String(&p->key) || !in.String(&p->value_name) ||
      !in.String(&p->value_data) || !in.String(&p->alternate_key) || !in.I32(&entry32) ||
      !in.StringArray(&p->details))
    return false;
  p->selected = selected != 0 ? 1 : 0;
  p->entry32 = entry32 != 0 ? 1 : 0;
  return true;
}

}  // namespace

std::vector<std::uint8_t> EncodeResults(const ScanManager& manager) {
  ArchiveWriter out;
  out.I32(static_cast<std::int32_t>(manager.TotalProblems()));
  for (const auto& info : kAreas) {
    const CCategory* area = manager.AreaByBit(info.bit);
    if (!area) {
      out.I32(0);
      continue;
    }
    out.I32(static_cast<std::int32_t>(area->Count()));
    for (const auto& p : area->problems()) {
      out.I32(p->entry_type);
      out.I32(p->selected);
      out.String(p->key);
      out.String(p->value_name);
      out.String(p->value_data);
      out.String(p->alternate_key);
      out.I32(p->entry32);
      out.StringArray(p->details);
    }
  }
  if (!out.ok()) return {};
  return out.Take();
}

WinError SaveProblemsToDisk(const ScanManager& manager, FileSystem& fs, TextView data_folder, Log& log) {
  const Text path = ResultsPath(data_folder);
  if (data_folder.empty()) {
    log.LogLine(u"SaveProblemsToDisk unable to open file : " + path);
    return err::kPathNotFound;
  }
  if (const WinError unreadable = manager.results_unreadable(); unreadable != err::kSuccess) {
    log.LogLine(u"SaveProblemsToDisk: " + LogSafe(path) + u" is not saved over; it could not be read at load (" +
                ErrorText(unreadable) + u")");
    return unreadable;
  }
  std::vector<std::uint8_t> bytes = EncodeResults(manager);
  if (bytes.empty()) {
    log.LogLine(u"SaveProblemsToDisk mein failed");
    return err::kInvalidData;
  }
  WinError e = fs.WriteFileAtomic(path, bytes);
  if (e == err::kPathNotFound || e == err::kFileNotFound || e == err::kAccessDenied) {
    log.LogLine(u"SaveProblemsToDisk unable to open file : " + LogSafe(path));
  } else if (e != err::kSuccess) {
    log.LogLine(u"SaveProblemsToDisk catch #2 : " + LogSafe(path));
  }
  return e;
}

LoadedResults LoadProblemsFromDisk(ScanManager& manager, FileSystem& fs, TextView data_folder, Log& log) {
  LoadedResults result;
  const Text path = ResultsPath(data_folder);
  manager.set_results_unreadable(err::kSuccess);
  if (data_folder.empty()) return result;

  std::vector<std::uint8_t> bytes;
  WinError e = fs.ReadFile(path, kMaxResultsFileBytes, &bytes);
  if (e == err::kFileNotFound || e == err::kPathNotFound) return result;
  manager.CreateAreas(kAllAreasMask, kAreaCount);
  auto damaged = [&](const Text& why) {
    log.LogLine(u"The results file " + LogSafe(path) + u" is damaged (" + why + u"); the problem list starts empty");
    (void)SetAsideDamagedFile(fs, path, log);
    for (const auto& info : kAreas) manager.AreaByBit(info.bit)->problems().clear();
    result.status = ResultsLoad::kDamaged;
    result.checked_total = 0;
    return result;
  };
  if (e == err::kFileTooLarge) return damaged(u"larger than " + ToText(static_cast<std::int64_t>(kMaxResultsFileBytes)) + u" bytes");
  if (e != err::kSuccess) {
    // Out of reach now, not damaged: kept as it is, and not saved over.
    log.LogLine(u"The results file " + LogSafe(path) + u" could not be read (" + ErrorText(e) +
                u"); the problem list starts empty and the file is kept as it is");
    manager.set_results_unreadable(e);
    result.status = ResultsLoad::kUnreadable;
    return result;
  }

  ArchiveReader in(bytes.data(), bytes.size());
  std::int32_t total = 0;
  if (!in.I32(&total)) return damaged(FromUtf8(in.error()));
  result.stored_total = total;
  for (const auto& info : kAreas) {
    std::int32_t count = 0;
    if (!in.I32(&count)) return damaged(FromUtf8(in.error()));
    if (count < 0) return damaged(u"negative problem count");
    CCategory* area = manager.AreaByBit(info.bit);
    for (std::int32_t i = 0; i < count; ++i) {
      auto p = std::make_unique<CProblem>();
      if (!ReadProblem(in, p.get())) return damaged(FromUtf8(in.error()));
      p->recorder = &manager.undo_holder();
      if (StillThere(manager, *p)) area->problems().push_back(std::move(p));
    }
  }
  if (!in.AtEnd()) return damaged(u"unexpected bytes after the last record");
  result.status = ResultsLoad::kLoaded;
  result.checked_total = manager.TotalProblems();
  return result;
}

}  // namespace hs
