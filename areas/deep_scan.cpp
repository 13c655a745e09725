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

// The skip list as one automaton (Aho-Corasick): stepping through a
// lower-cased key path one unit at a time tells, at each unit, whether an
// entry ends there. A walk keeps the state reached at the end of each key's
// path, so testing a subkey costs the length of its name, not of its path.
class SkipMatcher {
 public:
  SkipMatcher() {
    // Units that occur in some entry get a class of their own; all others
    // (every non-ASCII unit among them) share class 0, which no entry uses.
    for (TextView e : kDeepScanSkipSource)
      for (char16_t c : e)
        if (c < 128 && class_[c] == 0) class_[c] = static_cast<std::uint8_t>(++classes_);
    ++classes_;
    std::vector<std::int32_t> trie(classes_, -1);
    std::vector<bool> accepting(1, false);
    for (TextView e : kDeepScanSkipSource) {
      std::size_t s = 0;
      for (char16_t c : e) {
        const std::size_t at = s * classes_ + (c < 128 ? class_[c] : 0);
        if (trie[at] < 0) {
          trie[at] = static_cast<std::int32_t>(accepting.size());
          accepting.push_back(false);
          trie.resize(trie.size() + classes_, -1);
        }
        s = static_cast<std::size_t>(trie[at]);
      }
      accepting[s] = true;
    }
    // Breadth first: complete the transitions through the failure links.
    next_.assign(trie.size(), 0);
    accepting_ = accepting;
    std::vector<std::size_t> fail(accepting.size(), 0), queue;
    for (std::size_t c = 0; c < classes_; ++c) {
      const std::int32_t t = trie[c];
      if (t > 0) {
        next_[c] = t;
        queue.push_back(static_cast<std::size_t>(t));
      }
    }
    for (std::size_t head = 0; head < queue.size(); ++head) {
      const std::size_t s = queue[head];
      accepting_[s] = accepting_[s] || accepting_[fail[s]];
      for (std::size_t c = 0; c < classes_; ++c) {
        const std::int32_t t = trie[s * classes_ + c];
        if (t > 0) {
          fail[static_cast<std::size_t>(t)] = static_cast<std::size_t>(next_[fail[s] * classes_ + c]);
          next_[s * classes_ + c] = t;
          queue.push_back(static_cast<std::size_t>(t));
        } else {
          next_[s * classes_ + c] = next_[fail[s] * classes_ + c];
        }
      }
    }
  }

  // The state after one more (lower-cased) unit.
  std::int32_t Step(std::int32_t state, char16_t c) const {
    return next_[static_cast<std::size_t>(state) * classes_ + (c < 128 ? class_[c] : 0)];
  }
  // An entry ends at the unit that led to this state.
  bool Matched(std::int32_t state) const { return accepting_[static_cast<std::size_t>(state)]; }
  // Whether the text contains an entry; *state receives the state at its end.
  bool Scan(TextView lower, std::int32_t* state) const {
    std::int32_t s = *state;
    bool found = false;
    for (char16_t c : lower) {
      s = Step(s, c);
      found = found || Matched(s);
    }
    *state = s;
    return found;
  }

 private:
  std::uint8_t class_[128] = {};
  std::size_t classes_ = 0;
  std::vector<std::int32_t> next_;
  std::vector<bool> accepting_;
};

const SkipMatcher& Skips() {
  static const SkipMatcher matcher;
  return matcher;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// A name EnumSubkeyNames would list (the empty-key check counts those).
bool Listed(TextView name, bool windows64) {
  if (name.size() >= kListedNameLimit) return false;
  if (!windows64) return true;
  while (!name.empty() && (name.front() == u' ' || (name.front() >= 9 && name.front() <= 13))) name.remove_prefix(1);
  return !StartsWithNoCase(name, u"wow6432node");
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

bool CDeepScan::IsSkippedPath(TextView lower_path) {
  std::int32_t state = 0;
  return Skips().Scan(lower_path, &state);
}

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
  const SkipMatcher& skips = Skips();
  detail_ = context().strings(u"IDS_ENG_MISSING_FILE");

  // One open key per level; the paths of all levels share one buffer, each
  // level remembering where its path ends.
  struct Level {
    RegKey key;
    std::size_t path_len;
    std::int32_t state;        // the skip list automaton at the end of the path
    std::uint32_t next = 0;    // subkey index to enumerate next
    std::uint32_t listed = 0;  // subkeys the empty-key check would list
  };
  std::vector<Level> stack;
  Text path(start);
  Text shown = Text(root_name) + u"\\";
  const std::size_t shown_base = shown.size();
  // Every subkey path of a start path on the skip list is on it too.
  std::int32_t start_state = 0;
  const bool start_skipped = skips.Scan(Lowercase(start), &start_state);

  RegKey top = 0;
  if (reg.Open(root, path, mask, &top) != err::kSuccess) return 1;
  stack.push_back(Level{top, path.size(), start_state});
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

    // Subkeys first, each with its whole subtree.
    const WinError e = reg.EnumKey(level.key, level.next, kKeyNameCapacity, &name);
    if (e == err::kSuccess || e == err::kMoreData) {
      const std::uint32_t index = level.next++;
      if (IsCancelled()) return unwind();
      // Names that do not fit are passed over; an empty one would name the
      // key itself again.
      if (e != err::kSuccess || name.empty()) continue;
      if (Listed(name, env.windows64)) ++level.listed;
      // The parent's path holds no entry: only one ending in the new part
      // can occur.
      std::int32_t state = level.state;
      bool skipped = start_skipped;
      if (!path.empty()) {
        path += u'\\';
        state = skips.Step(state, u'\\');
        skipped = skipped || skips.Matched(state);
      }
      path += name;
      for (char16_t c : name) {
        state = skips.Step(state, LowercaseUnit(c));
        skipped = skipped || skips.Matched(state);
      }
      if (index % 2 == 1) {
        shown.resize(shown_base);
        shown += path;
        ReportProgress(shown);
      }
      if (skipped) continue;
      if (depth > kMaxWalkDepth) continue;
      RegKey child = 0;
      if (reg.Open(level.key, name, mask, &child) != err::kSuccess) continue;
      stack.push_back(Level{child, path.size(), state});
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
  // The text up to its first NUL, in a buffer kept across values.
  Text& text = text_;
  text.clear();
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const char16_t c = static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8));
    if (c == u'\0') break;
    text.push_back(c);
  }
  if (!LooksLikePath(text, false) || !Missing(text)) return;
  const Text key = (root_ == kHkeyCurrentUser ? Text(u"HKEY_CURRENT_USER\\") : Text(u"HKEY_LOCAL_MACHINE\\")) +
                   Text(path);
  const int index = AddProblem(entry_type_, key, name, text, u"", entry32);
  AddProblemDetail(index, detail_);
}

bool CDeepScan::Missing(const Text& text) {
  const auto it = missing_.find(text);
  if (it != missing_.end()) return it->second;
  const SafeListCheck* safe = context().safe_lists;
  const bool missing = !(safe && safe->IsSafePath(text)) && FileExists(text) == -1;
  if (missing_.size() < kMaxRemembered) missing_.emplace(text, missing);
  return missing;
}

CDeepScanLM::CDeepScanLM(ScanManager& manager)
    : CDeepScan(0x1000, manager, kHkeyLocalMachine, u"SOFTWARE", u"HKEY_LOCAL_MACHINE", 42, manager.reg().windows64) {}

CDeepScanCU::CDeepScanCU(ScanManager& manager)
    : CDeepScan(0x2000, manager, kHkeyCurrentUser, u"", u"HKEY_CURRENT_USER", 43, false) {}

}  // namespace hs
