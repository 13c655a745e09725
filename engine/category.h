// CCategory: the base of the fourteen scan areas. An area owns its problem
// list and records problems only through AddProblem, which vets each entry
// against the safe key list, system protection, the user's exclusions, the
// problems already found and the temporary ignore list.
//
// Areas run on the scan worker thread, one after another; the user
// interface reads their lists only after the worker has ended.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/file_reference.h"
#include "engine/problem.h"
#include "platform/registry.h"

namespace hs {

class ScanManager;
struct ScanContext;

inline constexpr int kEmptyKeyEntryType = 1;

class CCategory {
 public:
  CCategory(std::uint32_t bit, ScanManager& manager);
  virtual ~CCategory();
  CCategory(const CCategory&) = delete;
  CCategory& operator=(const CCategory&) = delete;

  // Scans the area: 0 or 1 when done, 2 when it saw the cancel event.
  virtual int Scan() = 0;
  // Called first by Scan; most areas answer true at once.
  virtual bool PrepareScan() = 0;
  // Reports keys below root\path that hold nothing (entry type 1); see the
  // .cpp for the rules. True when cancelled or when the key could not be
  // opened; recurses through this virtual when `recurse` is set.
  virtual bool FindEmptyKeys(RegKey root, TextView path, bool is64_view, const std::vector<Text>& skip,
                             bool recurse);

  // Returns the index of the new problem, or -1 when the entry was dropped.
  int AddProblem(int entry_type, TextView key, TextView value_name, TextView value_data, TextView alternate_key,
                 bool entry32);
  // Appends to the details of problem `index`; ignored for an invalid index.
  void AddProblemDetail(int index, TextView text);
  // A problem with exactly this key (case-sensitive) and entry type exists.
  bool HasProblem(TextView key, int entry_type) const;
  void Sort();
  std::size_t Count() const { return problems_.size(); }
  std::size_t SelectedCount() const;
  void Remove(std::size_t index);

  ProblemList& problems() { return problems_; }
  const ProblemList& problems() const { return problems_; }
  std::uint32_t bit() const { return bit_; }
  bool IsCancelled() const;
  // The system folder with a trailing backslash, and the 32-bit one of
  // 64-bit Windows (empty elsewhere).
  const Text& system_folder() const;
  const Text& system_folder32() const;

 protected:
  ScanManager& manager() const { return manager_; }
  ScanContext& context() const;
  // Progress report of the item being examined (one in 27 is shown).
  void ReportProgress(TextView item, bool keep_case = false);
  // The file reference test with this area's cancel state; true (valid)
  // when no resolver is configured.
  bool FileValid(TextView text, const FileRefFlags& flags);
  // 1 exists, 0 undecided, -1 missing; 1 without a resolver.
  int FileExists(TextView path);
  // The bare path of a reference text; the text itself without a resolver.
  Text CleanPath(TextView text);

 private:
  bool FindEmptyKeysAt(RegKey root, TextView path, bool is64_view, const std::vector<Text>& skip, bool recurse);
  bool KeyIsWritable(RegKey root, TextView subkey, std::uint32_t mask) const;

  std::uint32_t bit_;
  ScanManager& manager_;
  ProblemList problems_;
  int empty_key_depth_ = 0;
};

}  // namespace hs
