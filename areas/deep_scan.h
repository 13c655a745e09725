// CDeepScan: the catch-all behind the specific areas. It walks a whole
// registry subtree key by key and tests every string value that looks like a
// file path; a value naming a missing file is reported. A built-in skip list
// of key-path fragments keeps the walk out of subtrees that the specific
// areas check, that the system manages, or that hold path-like data that is
// not a file reference.
//
// CDeepScanLM (area bit 0x1000): HKEY_LOCAL_MACHINE\SOFTWARE, entry type 42;
// on 64-bit Windows in the 64-bit view and then in the 32-bit view.
// CDeepScanCU (area bit 0x2000): the whole of HKEY_CURRENT_USER, entry type
// 43, once; REG_BINARY values are read there too.
//
// The walk is depth first: a key's subkeys (in index order, each with its
// whole subtree) come before the key's own values and its empty-key check.
// It keeps an explicit stack on the heap, so a registry thousands of levels
// deep cannot exhaust the worker's stack; keys more than kMaxWalkDepth
// levels below the start key (deeper than Windows allows) are not entered.
//
// Runs on the scan worker thread only.
#pragma once

#include <span>
#include <unordered_map>

#include "engine/category.h"

namespace hs {

class CDeepScan : public CCategory {
 public:
  // Walks the area's subtree (both views for the machine hive on 64-bit
  // Windows), then sorts. 1 when done, 2 when cancelled.
  int Scan() override;
  bool PrepareScan() override;

  // Whether a value's text may name a file: never for a value name; a text
  // with a scheme before "://" (at index 3 to 6) only for "res" and "file";
  // not a text of more than 4 characters that starts with a digit in one of
  // its first two characters and holds ":\" after them; otherwise a text
  // holding a backslash or a colon.
  virtual bool LooksLikePath(TextView text, bool is_value_name) const;
  // Walks root\path and its subtree without naming a view (on 64-bit
  // Windows: the 64-bit view, the one a problem flagged 0 is repaired in).
  // `root_name` starts the progress texts. 1 when the walk ended normally,
  // 2 when it stopped for cancel (or the stop flag was already set).
  virtual int WalkKey(RegKey root, TextView path, TextView root_name);
  // The same in one view; problems found in the 32-bit view are flagged so.
  virtual int WalkKeyInView(RegKey root, TextView path, TextView root_name, bool is64_view);
  // The walk in the 64-bit view, then (unless cancelled) in the 32-bit view;
  // then sorts. 1 or 2.
  virtual int ScanBothViews();

  // The skip list as written (336 lower-case fragments, in order).
  static std::span<const TextView> SkipListEntries();
  // True when a lower-cased key path contains an entry of the skip list.
  static bool IsSkippedPath(TextView lower_path);

  static constexpr std::size_t kMaxWalkDepth = 512;

  // Distinct value texts tested for a file in the last scan (for the
  // benchmark; at most the number remembered).
  std::size_t paths_tested() const { return missing_.size(); }

  // Set while a walk must unwind (cancel seen) and after a scan ended.
  bool stopped() const { return stop_; }
  RegKey root() const { return root_; }
  int entry_type() const { return entry_type_; }

 protected:
  CDeepScan(std::uint32_t bit, ScanManager& manager, RegKey root, Text start_path, Text root_name, int entry_type,
            bool both_views);

 private:
  enum class View { kDefault, k64, k32 };
  int Walk(RegKey root, TextView path, TextView root_name, View view);
  // Tests one value of an open key; reports it when it names a missing file.
  void CheckValue(TextView path, const Text& name, const RegValue& value, bool entry32);
  // A missing file: not on the safe path list and missing by the drive walk.
  // Answers are kept for the rest of the scan.
  bool Missing(const Text& text);

  RegKey root_;
  Text start_path_;
  Text root_name_;
  int entry_type_;
  bool both_views_;
  bool stop_ = false;
  Text detail_;
  Text text_;
  std::unordered_map<Text, bool> missing_;
};

class CDeepScanLM final : public CDeepScan {
 public:
  explicit CDeepScanLM(ScanManager& manager);
};

class CDeepScanCU final : public CDeepScan {
 public:
  explicit CDeepScanCU(ScanManager& manager);
};

}  // namespace hs
