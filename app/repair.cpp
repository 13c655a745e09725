#include "app/repair.h"

#include <mutex>

#include "app/settings.h"
#include "engine/list_upkeep.h"
#include "engine/registry_helpers.h"
#include "engine/results_file.h"

namespace hs {
namespace {

std::mutex g_repair_lock;  // one repair run per process

// ROOT\sub\path → RootIndex and sub\path; false without a backslash or for
// an unknown root.
bool SplitRepairKey(TextView key, std::int32_t* root_index, Text* subkey) {
  const std::size_t slash = key.find(u'\\');
  if (slash == TextView::npos) return false;
  *root_index = RootIndexOfName(key.substr(0, slash));
  *subkey = Text(key.substr(slash + 1));
  return *root_index >= 0;
}

}  // namespace

char RepairGroup(std::int32_t t) {
  switch (t) {
    case 0: case 7: case 19: case 21: return 'A';
    case 1: case 4: case 5: case 8: case 9: case 10: case 18: case 20: case 35: case 38: return 'B';
    case 2: case 23: case 24: case 25: case 28: case 29: case 30: case 31: case 33: case 41: case 42: case 43:
      return 'C';
    case 3: case 6: case 11: case 12: case 13: case 15: case 17: case 22: case 36: case 39: return 'D';
    case 14: case 16: return 'E';
    case 26: return 'F';
    case 27: return 'G';
    case 32: return 'H';
    case 34: case 40: return 'I';
    case 37: return 'J';
    default: return 0;
  }
}

Text HistoryUrlOfPath(TextView path) {
  Text s;
  for (char16_t c : path) {
    if (c == u' ') s += u"%20";
    else if (c == u'\\') s += u'/';
    else s += c;
  }
  s = u"file:///" + s;
  Text out;
  for (char16_t c : s) {
    if (c == u'[') out += u"%5B";
    else if (c == u']') out += u"%5D";
    else out += c;
  }
  return out;
}

RepairRun::RepairRun(RepairEnv& env) : env_(env) {}

RepairRun::~RepairRun() {
  if (launched_) {
    env_.manager.Cancel();
    Join();
  }
  if (backup_ && !EndUndoBackup(env_.undo, std::move(backup_))) {
    env_.undo.log.LogLine(u"The undo set of the repair run could not be saved completely");
  }
}

bool RepairRun::Start() {
  env_.undo.log.LogLine(u"\r\n\r\n CLEANING STARTED \r\n\r\n");
  env_.progress.SetBarPos(0);
  // A run whose end (Finish) has not been handled still holds its undo set.
  if (repairing_.load() || launched_ || backup_) return false;
  if (env_.create_restore_point) {
    env_.progress.SetDialogText(env_.undo.strings(u"IDS_CREATING_RESTORE_PT"));
    (void)env_.create_restore_point();
  }
  env_.undo.log.LogLine(u"\r\n\r\n PASSED CREATING RESTORE POINT STAGE \r\n\r\n");
  // The areas and the undo set are prepared only once the worker is ours:
  // while a scan runs they belong to it.
  const bool started = env_.manager.owner().Start(
      Operation::kRepairing, [this] { CleanWorker(); return true; }, [this](bool ok) { EndWorker(ok); },
      [this] {
        env_.manager.CollectAreas();
        backup_ = BeginUndoBackup(env_.undo);
        env_.manager.undo_holder().backup = backup_.get();
        env_.manager.ResetCancel();
        stopped_ = false;
        thread_started_ = false;
        repairing_.store(true);
      });
  if (!started) {
    env_.undo.log.LogLine(u"The repair did not start: another operation runs");
    return false;
  }
  launched_ = true;
  return true;
}

void RepairRun::Join() {
  if (!launched_) return;
  env_.manager.owner().Join();
  if (!env_.manager.owner().OnWorker()) launched_ = false;
}

void RepairRun::CleanWorker() {
  std::unique_lock<std::mutex> lock(g_repair_lock, std::try_to_lock);
  if (!lock.owns_lock()) {
    repairing_.store(false);
    return;
  }
  repairing_.store(true);
  if (env_.thread_start) env_.thread_start();
  thread_started_ = true;
  ScanManager& m = env_.manager;
  m.repair_area = [this](CCategory& area) { return RepairArea(area); };
  env_.progress.SetBarRange(0, kAreaCount);
  env_.progress.SetBarPos(0);
  const auto order = RunOrder();
  int result = 0;
  for (int index = 0; index < static_cast<int>(order.size()); ++index) {
    const std::uint32_t bit = order[index];
    if (!(m.area_mask() & bit)) continue;
    CCategory* area = m.AreaByBit(bit);
    env_.undo.log.LogLine(FormatNumbers(u"Cleaning Section %d : Count : %d ",
                                      {index, static_cast<std::int64_t>(area ? area->Count() : 0)}));
    result = m.RunArea(false, area, bit);
    env_.progress.SetBarPos(index);
    if (result == 2) break;
  }
  stopped_ = result == 2;
  m.InvalidateDuplicateIndex();
  if (env_.thread_end) env_.thread_end();
  thread_started_ = false;
  repairing_.store(false);
  // Posted: the window's handler calls Finish, which waits for this worker.
  PostEnd();
  env_.undo.log.LogLine(u"Thread clean done");
}

void RepairRun::PostEnd() {
  ScanManager& m = env_.manager;
  const WindowTarget w = m.notify_window();
  if (w && m.context().notifier.WindowExists(w)) {
    m.context().notifier.Post(w, stopped_ ? kMsgRepairStopped : kMsgRepairCompleted, 0, 0);
  }
}

void RepairRun::EndWorker(bool ok) {
  if (ok) return;
  // The worker threw: the run ends as stopped, what it repaired stays repaired.
  env_.undo.log.LogLine(u"The repair failed; it ends as stopped");
  env_.manager.InvalidateDuplicateIndex();
  if (thread_started_ && env_.thread_end) env_.thread_end();
  thread_started_ = false;
  stopped_ = true;
  repairing_.store(false);
  PostEnd();
}

int RepairRun::RepairArea(CCategory& area) {
  Log& log = env_.undo.log;
  ProblemList& list = area.problems();
  std::int64_t selected = 0;
  for (const auto& p : list) selected += p->selected == 1 ? 1 : 0;
  if (selected == 0) {
    env_.progress.ShowDialog(false);
    return 1;
  }
  env_.progress.ShowDialog(true);
  const Text format = env_.manager.context().strings(u"IDS_ERRORS_PROCESSED");
  env_.progress.SetDialogText(FormatNumbers(format, {0, selected}));
  std::int64_t processed = 0;
  for (std::size_t i = 0; i < list.size(); ++i) {
    env_.undo.clock.SleepMs(10);
    if (env_.manager.IsCancelled()) {
      env_.settings.RegErrsFixedTillDate += static_cast<std::uint32_t>(processed);
      (void)env_.settings_store.WriteProfileInt(u"", u"RegErrsFixedLast", env_.settings.RegErrsFixedLast);
      return 2;
    }
    const CProblem& p = *list[i];
    if (p.selected != 1) continue;
    ++processed;
    env_.progress.SetDialogText(FormatNumbers(format, {processed, selected}));
    log.LogLine(FormatText(u"Attempting to fix Entry:\r\n EntryType:%s\r\n Key:%s\r\n ValueName:%s \r\n ValueData:%s "
                           u"\r\n AlternateKey:%s \r\n 32BitEntry:%s",
                           {ToText(p.entry_type), LogSafe(p.key), LogSafe(p.value_name), LogSafe(p.value_data),
                            LogSafe(p.alternate_key), ToText(p.entry32)}));
    if (RepairProblem(p)) {
      log.LogLine(u"Successfully Fixed the Above Entry");
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
      --i;
    } else {
      log.LogLine(u"The Above Entry Could not be Fixed!");
    }
  }
  env_.settings.RegErrsFixedTillDate += static_cast<std::uint32_t>(processed);
  env_.settings.RegErrsFixedLast += static_cast<std::uint32_t>(processed);
  (void)env_.settings_store.WriteProfileInt(u"", u"RegErrsFixedLast", env_.settings.RegErrsFixedLast);
  return 1;
}

void RepairRun::RemoveParentIfEmpty(std::int32_t root_index, const Text& subkey, bool is64) {
  const std::size_t slash = subkey.rfind(u'\\');
  CBackup* backup = env_.manager.undo_holder().backup;
  if (slash == Text::npos || !backup) return;
  if (!RemoveKeyIfEmpty(env_.undo, *backup, root_index, subkey.substr(0, slash), is64)) {
    env_.undo.log.LogLine(u"The emptied parent key stays");
  }
}

bool RepairRun::DeleteKeyAndEmptyParent(std::int32_t root_index, const Text& subkey, bool tree, bool is64) {
  CBackup* backup = env_.manager.undo_holder().backup;
  if (!backup || !AddDeleteKeyOperation(env_.undo, *backup, root_index, subkey, tree, is64)) return false;
  RemoveParentIfEmpty(root_index, subkey, is64);
  return true;
}

bool RepairRun::RepairProblem(const CProblem& p) {
  CBackup* backup = env_.manager.undo_holder().backup;
  const bool is64 = p.entry32 == 0;
  const char group = RepairGroup(p.entry_type);
  std::int32_t root = -1;
  Text subkey;
  switch (group) {
    case 'A':
    case 'B': {
      const Text& key = p.alternate_key.empty() ? p.key : p.alternate_key;
      if (!backup || !SplitRepairKey(key, &root, &subkey)) return false;
      if (group == 'B') return AddDeleteKeyOperation(env_.undo, *backup, root, subkey, false, is64);
      return DeleteKeyAndEmptyParent(root, subkey, true, is64);
    }
    case 'C':
      if (!backup || !SplitRepairKey(p.key, &root, &subkey)) return false;
      return AddDeleteValueOperation(env_.undo, *backup, root, subkey, p.value_name, is64);
    case 'D':
    case 'E':
      if (!backup || !SplitRepairKey(p.key, &root, &subkey)) return false;
      return AddDeleteKeyOperation(env_.undo, *backup, root, subkey, group == 'D', is64);
    case 'F': {
      Text path;
      if (!backup || !SplitRepairKey(p.alternate_key, &root, &path)) return false;
      Registry& reg = env_.undo.registry;
      RegKey probe = 0;
      if (reg.Open(RootOfIndex(root), path, 0x2001F, &probe) == err::kSuccess) {
        reg.Close(probe);
      } else {
        KeyPathList* exclusions = env_.manager.context().exclusions;
        const std::size_t slash = p.key.find(u'\\');
        if (slash == Text::npos) {
          if (exclusions) exclusions->Add(path);
        } else {
          const Text key_sub = p.key.substr(slash + 1);
          if (CompareNoCase(key_sub, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts") != 0) {
            path = key_sub;
          } else if (exclusions) {
            exclusions->Add(path);
          }
        }
      }
      return DeleteKeyAndEmptyParent(root, path, false, is64);
    }
    case 'G': {
      if (!backup || !SplitRepairKey(p.key, &root, &subkey)) return false;
      if (!AddDeleteValueOperation(env_.undo, *backup, root, subkey, p.value_name, is64)) return false;
      Registry& reg = env_.undo.registry;
      RegKey key = 0;
      if (reg.Open(RootOfIndex(root), subkey, AccessMask(env_.undo.windows64, KeyAccess::kReadWrite, is64), &key) !=
          err::kSuccess) {
        return false;
      }
      Text list;
      RegValue v;
      if (reg.QueryValue(key, u"MRUList", &v) == err::kSuccess && (v.type == kRegSz || v.type == kRegExpandSz)) {
        for (std::size_t i = 0; i + 1 < v.data.size() && list.size() < 260; i += 2) {
          const char16_t c = static_cast<char16_t>(v.data[i] | (v.data[i + 1] << 8));
          if (c == 0) break;
          list += c;
        }
      }
      reg.Close(key);
      if (!list.empty() && p.value_name.size() == 1) {
        const std::size_t at = list.find(p.value_name[0]);
        if (at != Text::npos) {
          list.erase(at, 1);
          (void)AddSetValueOperation(env_.undo, *backup, root, subkey, u"MRUList", list, is64);
        }
      }
      return true;
    }
    case 'H':
      return env_.history.DeleteUrl(HistoryUrlOfPath(p.Detail(1))) == err::kSuccess;
    case 'I': {
      const Text& file = p.Detail(1);
      if (file.empty() || !env_.fs.Exists(file)) return false;
      return env_.recycle_bin.MoveToRecycleBin(file) == err::kSuccess;
    }
    case 'J':
      if (!backup || !SplitRepairKey(p.key, &root, &subkey)) return false;
      return AddSetValueOperation(env_.undo, *backup, root, subkey, p.value_name, u"", is64);
    default:
      return false;
  }
}

std::uint32_t RepairRun::Finish(bool completed) {
  Log& log = env_.undo.log;
  ScanManager& m = env_.manager;
  Join();
  (void)env_.settings_store.SaveSettings(env_.settings);
  m.undo_holder().backup = nullptr;
  saved_ = EndUndoBackup(env_.undo, std::move(backup_), &undo_record_);
  if (!saved_) log.LogLine(u"The undo set of the repair run could not be saved completely");
  if (!completed) return 0;
  if (SaveProblemsToDisk(m, env_.fs, env_.data_folder, log) != err::kSuccess) saved_ = false;
  if (m.TotalProblems() > 0 && m.context().temp_ignore) {
    (void)ManageTempIgnoreList(m, *m.context().temp_ignore, log);
    log.LogLine(u"Manage temp ignore list done");
  }
  const std::uint32_t command = m.TotalProblems() == 0 ? kCmdAfterRepairScreen : kCmdResultsScreen;
  if (m.main_window()) m.context().notifier.Post(m.main_window(), kWmCommand, command, 0);
  log.LogLine(u"Cleaning Finished");
  return command;
}

}  // namespace hs
