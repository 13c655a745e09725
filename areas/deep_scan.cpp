#include "areas/deep_scan.h"

#include <algorithm>
#include <vector>

#include "areas/safe_lists.h"
#include "engine/registry_helpers.h"
#include "engine/scan_manager.h"

namespace hs {

namespace {

#include "areas/deep_scan_skip_list.inc"

// Subkey names up to 519 characters, value names up to 2047, data up to
// 4096 bytes; what does not fit is passed over.
constexpr std::uint32_t kKeyNameCapacity = 520;
constexpr std::uint32_t kValueNameCapacity = 2048;
constexpr std::uint32_t kValueDataCapacity = 4096;
// Values longer than this many bytes are not read.
constexpr std::size_t kMaxDataBytes = 2045;
constexpr std::size_t kMinDataBytes = 3;
// The longest name EnumSubkeyNames lists (its buffer holds 255 units with
// the terminator).
constexpr std::size_t kListedNameLimit = 255;
// Remembered file answers per scan (a bound on memory, not on results).
constexpr std::size_t kMaxRemembered = 1u << 18;

struct SkipSet {
  SubstringSet set;
  std::size_t longest = 0;
};

const SkipSet& Skips() {
  static const SkipSet skips = [] {
    SkipSet s;
    std::vector<Text> entries;
    for (TextView e : kDeepScanSkipSource) {
      entries.emplace_back(e);
      s.longest = std::max(s.longest, e.size());
    }
    s.set = SubstringSet(std::move(entries));
    return s;
  }();
  return skips;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// A name EnumSubkeyNames would list (the empty-key check counts those).
bool Listed(const Text& name, bool windows64) {
  if (name.size() >= kListedNameLimit) return false;
  return !(windows64 && StartsWithNoCase(Trim(name), u"wow6432node"));
}

}  // namespace

CDeepScan::CDeepScan(std::uint32_t bit, ScanManager& manager, RegKey root, Text start_path, Text root_name,
                     int entry_type, bool both_views)
    : CCategory(bit, manager),
      root_(root),
      start_path_(std::move(start_path)),
      root_name_(std::move(root_name)),
      entry_type_(entry_type),
      both_views_(both_views) {}

std::span<const TextView> CDeepScan::SkipListEntries() { return kDeepScanSkipSource; }

bool CDeepScan::IsSkippedPath(TextView lower_path) { return Skips().set.FoundIn(lower_path); }

bool CDeepScan::PrepareScan() { return true; }

int CDeepScan::Scan() {
  (void)PrepareScan();
  if (root_ != kHkeyCurrentUser && both_views_) return ScanBothViews();
  stop_ = false;
  missing_.clear();
  start_path_ = Lowercase(start_path_);
  ReportProgress(u"Initializing...");
  int result = 1;
  if (!IsCancelled()) result = WalkKey(root_, start_path_, root_name_);
  stop_ = true;
  Sort();
  return IsCancelled() ? 2 : result;
}

int CDeepScan::ScanBothViews() {
  stop_ = false;
  missing_.clear();
  start_path_ = Lowercase(start_path_);
  ReportProgress(u"Initializing...");
  int result = 1;
  if (!IsCancelled()) result = WalkKeyInView(root_, start_path_, root_name_, true);
  if (!IsCancelled() && root_ != kHkeyCurrentUser) result = WalkKeyInView(root_, start_path_, root_name_, false);
  stop_ = true;
  Sort();
  return IsCancelled() ? 2 : result;
}

bool CDeepScan::LooksLikePath(TextView text, bool is_value_name) const {
  if (is_value_name) return false;
  if (text.size() > 4) {
    for (std::size_t at = 3; at <= 6 && at + 3 <= text.size(); ++at) {
      if (text.substr(at, 3) != u"://") continue;
      const Text scheme = Lowercase(text.substr(0, at));
      return scheme == u"res" || scheme == u"file";
    }
    if (text.find(u":\\", 2) != TextView::npos && (IsDigit(text[0]) || IsDigit(text[1]))) return false;
  }
  return text.find_first_of(u"\\:") != TextView::npos;
}

int CDeepScan::WalkKey(RegKey root, TextView path, TextView root_name) {
  return Walk(root, path, root_name, View::kDefault);
}

int CDeepScan::WalkKeyInView(RegKey root, TextView path, TextView root_name, bool is64_view) {
  return Walk(root, path, root_name, is64_view ? View::k64 : View::k32);
}

int CDeepScan::Walk(RegKey root, TextView start, TextView root_name, View view) {
  if (IsCancelled()) {
    stop_ = true;
    return 2;
  }
  if (stop_) return 2;
  const RegEnv& env = manager().reg();
  Registry& reg = env.registry;
  const bool is64 = view != View::k32;
  const std::uint32_t mask = AccessMask(env.windows64, KeyAccess::kRead, is64);
  const bool entry32 = env.windows64 && !is64;
  const bool empty_check = !context().skip_empty_keys;
  const std::size_t tail = Skips().longest;
  detail_ = context().strings(u"IDS_ENG_MISSING_FILE");

  // One open key per level; the paths of all levels share one buffer (and
  // its lower-cased twin), each level remembering where its path ends.
  struct Level {
    RegKey key;
    std::size_t path_len;
    std::uint32_t next = 0;    // subkey index to enumerate next
    std::uint32_t listed = 0;  // subkeys the empty-key check would list
  };
  std::vector<Level> stack;
  Text path(start);
  Text lower = Lowercase(start);
  Text shown = Text(root_name) + u"\\";
  const std::size_t shown_base = shown.size();
  // Every subkey path of a start path on the skip list is on it too.
  const bool start_skipped = IsSkippedPath(lower);

  RegKey top = 0;
  if (reg.Open(root, path, mask, &top) != err::kSuccess) return 1;
  stack.push_back(Level{top, path.size()});
  auto unwind = [&] {
    for (const Level& l : stack) reg.Close(l.key);
    stack.clear();
    stop_ = true;
    return 2;
  };

  Text name;
  RegValue value;
  while (!stack.empty()) {
    const std::size_t depth = stack.size();
    Level& level = stack.back();
    path.resize(level.path_len);
    lower.resize(level.path_len);

    // Subkeys first, each with its whole subtree.
    const WinError e = reg.EnumKey(level.key, level.next, kKeyNameCapacity, &name);
    if (e == err::kSuccess || e == err::kMoreData) {
      const std::uint32_t index = level.next++;
      if (IsCancelled()) return unwind();
      if (e != err::kSuccess || name.empty()) continue;
      if (Listed(name, env.windows64)) ++level.listed;
      if (!path.empty()) {
        path += u'\\';
        lower += u'\\';
      }
      path += name;
      for (char16_t c : name) lower += LowercaseUnit(c);
      if (index % 2 == 1) {
        shown.resize(shown_base);
        shown += path;
        ReportProgress(shown);
      }
      // The parent's path holds no entry: only an entry ending in the new
      // part can occur.
      const std::size_t from = level.path_len + 1 > tail ? level.path_len + 1 - tail : 0;
      if (start_skipped || IsSkippedPath(TextView(lower).substr(from))) continue;
      if (depth > kMaxWalkDepth) continue;
      RegKey child = 0;
      if (reg.Open(level.key, name, mask, &child) != err::kSuccess) continue;
      stack.push_back(Level{child, path.size()});
      continue;
    }

    // Then the key's own values.
    RegKeyInfo info;
    const bool info_ok = reg.QueryInfo(level.key, &info) == err::kSuccess;
    if (info_ok) {
      for (std::uint32_t i = 0; i < info.values; ++i) {
        if (IsCancelled()) return unwind();
        if (reg.EnumValue(level.key, i, kValueNameCapacity, kValueDataCapacity, &name, &value) != err::kSuccess)
          continue;
        CheckValue(path, name, value, entry32);
      }
    }
    // And whether it holds nothing (only a key that may be empty is asked).
    const RegKey key = level.key;
    const bool maybe_empty = level.listed == 0 && (!info_ok || info.values <= 1);
    if (empty_check && maybe_empty) (void)FindEmptyKeys(root, path, is64, {}, false);
    reg.Close(key);
    stack.pop_back();
  }
  return 1;
}

void CDeepScan::CheckValue(TextView path, const Text& name, const RegValue& value, bool entry32) {
  const bool text_type = value.type == kRegSz || value.type == kRegExpandSz ||
                         (value.type == kRegBinary && root_ == kHkeyCurrentUser);
  if (!text_type) return;
  const std::size_t size = value.data.size();
  if (size > kMaxDataBytes || size < kMinDataBytes) return;
  Text text = FromUtf16leBytes(value.data.data(), size & ~static_cast<std::size_t>(1));
  const auto nul = text.find(u'\0');
  if (nul != Text::npos) text.resize(nul);
  if (!LooksLikePath(text, false) || !Missing(text)) return;
  const Text key = (root_ == kHkeyCurrentUser ? Text(u"HKEY_CURRENT_USER\\") : Text(u"HKEY_LOCAL_MACHINE\\")) +
                   Text(path);
  const int index = AddProblem(entry_type_, key, name, text, u"", entry32);
  AddProblemDetail(index, detail_);
}

bool CDeepScan::Missing(const Text& text) {
  const auto it = missing_.find(text);
  if (it != missing_.end()) return it->second;
  const SafeLists* safe = context().safe_lists;
  const bool missing = !(safe && safe->IsSafePath(text)) && FileExists(text) == -1;
  if (missing_.size() < kMaxRemembered) missing_.emplace(text, missing);
  return missing;
}

CDeepScanLM::CDeepScanLM(ScanManager& manager)
    : CDeepScan(0x1000, manager, kHkeyLocalMachine, u"SOFTWARE", u"HKEY_LOCAL_MACHINE", 42, manager.reg().windows64) {}

CDeepScanCU::CDeepScanCU(ScanManager& manager)
    : CDeepScan(0x2000, manager, kHkeyCurrentUser, u"", u"HKEY_CURRENT_USER", 43, false) {}

}  // namespace hs
