#include "engine/category.h"

#include "engine/registry_helpers.h"
#include "engine/scan_manager.h"

namespace hs {

namespace {

// Upper-cased fragments of keys that the empty-key check never reports.
const std::vector<Text>& ProtectedFragments() {
  static const std::vector<Text> fragments = {
      u"WOW6432NODE",
      u"MICROSOFT\\SECURITY CENTER",
      u"MICROSOFT\\SPEECH\\RECOGNIZERS",
      u"MICROSOFT\\SYSTEMCERTIFICATES",
      u"MICROSOFT\\VISUALSTUDIO",
      u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\NETWORK",
      u"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\SECEDIT",
      u"POLICIES\\MICROSOFT",
      u"MICROSOFT\\WINDOWS\\CURRENTVERSION",
      u"\\DATAPROVIDERS\\",
      u"\\OPENWITHLIST",
      u"MICROSOFT\\ASP.NET",
      u"\\PRINTERS\\SHELL",
      u"\\SHELLEX\\",
      u"MICROSOFT\\ODBC",
      u"MICROSOFT\\ENTERPRISECERTIFICATES",
      u"MICROSOFT\\WBEM",
      u"MICROSOFT\\KEYRING",
      u"SOFTWARE\\CLASSES\\.",
      u"SOFTWARE\\CLASSES\\CLSID\\",
      u"SOFTWARE\\CLASSES\\TYPELIB\\",
      u"SOFTWARE\\CLASSES\\INTERFACE\\",
      u"SOFTWARE\\MICROSOFT\\SAPI LAYER",
      u"SOFTWARE\\MICROSOFT",
      u"MICROSOFT\\CRYPTOGRAPHY",
      u"WINDOWS 3.1 MIGRATION STATUS",
      u"\\VIRTUALSTORE\\",
      u"\\IMPLEMENTED CATEGORIES",
      u"INTERNET EXPLORER",
      u"SOFTWARE\\MICROSOFT\\WINDOWS NT",
      u"SOFTWARE\\MICROSOFT\\VISUAL BASIC\\6.0",
  };
  return fragments;
}

// Deeper than any key Windows allows (512 levels).
constexpr int kMaxEmptyKeyDepth = 512;

bool IsHistoryType(int t) { return t >= 26 && t <= 32; }
bool IsRecentEntryType(int t) { return t >= 28 && t <= 30; }

}  // namespace

CCategory::CCategory(std::uint32_t bit, ScanManager& manager) : bit_(bit), manager_(manager) {}

CCategory::~CCategory() = default;

ScanContext& CCategory::context() const { return manager_.context(); }

bool CCategory::IsCancelled() const { return manager_.IsCancelled(); }

const Text& CCategory::system_folder() const { return manager_.system_folder(); }

const Text& CCategory::system_folder32() const { return manager_.system_folder32(); }

void CCategory::ReportProgress(TextView item, bool keep_case) { manager_.ReportProgressItem(item, keep_case); }

bool CCategory::FileValid(TextView text, const FileRefFlags& flags) {
  FileReferences* refs = context().file_refs;
  return refs ? refs->FileReferenceValid(*this, text, flags) : true;
}

int CCategory::FileExists(TextView path) {
  FileReferences* refs = context().file_refs;
  return refs ? refs->FileReferenceExists(path) : 1;
}

Text CCategory::CleanPath(TextView text) {
  FileReferences* refs = context().file_refs;
  return refs ? refs->CleanPathReference(text) : Text(text);
}

std::size_t CCategory::SelectedCount() const {
  std::size_t n = 0;
  for (const auto& p : problems_)
    if (p->selected != 0) ++n;
  return n;
}

void CCategory::Remove(std::size_t index) {
  if (index < problems_.size()) problems_.erase(problems_.begin() + static_cast<std::ptrdiff_t>(index));
  manager_.InvalidateDuplicateIndex();
}

void CCategory::Sort() { SortProblems(problems_); }

bool CCategory::HasProblem(TextView key, int entry_type) const {
  for (const auto& p : problems_)
    if (p->entry_type == entry_type && p->key == key) return true;
  return false;
}

void CCategory::AddProblemDetail(int index, TextView text) {
  if (index < 0 || static_cast<std::size_t>(index) >= problems_.size()) return;
  problems_[static_cast<std::size_t>(index)]->details.emplace_back(text);
}

// Whether a key that may not exist could be opened for change: the key
// itself, or (when it does not exist) its deepest existing ancestor. Never
// creates anything: a scan does not change the registry.
bool CCategory::KeyIsWritable(RegKey root, TextView subkey, std::uint32_t mask) const {
  Registry& reg = manager_.reg().registry;
  Text path(subkey);
  for (;;) {
    RegKey k = 0;
    WinError e = reg.Open(root, path, mask, &k);
    if (e == err::kSuccess) {
      reg.Close(k);
      return true;
    }
    if (e != err::kFileNotFound && e != err::kPathNotFound) return false;
    auto pos = path.rfind(u'\\');
    if (pos == Text::npos) return !path.empty();  // the root itself takes new keys
    path.resize(pos);
  }
}

int CCategory::AddProblem(int entry_type, TextView key, TextView value_name, TextView value_data,
                          TextView alternate_key, bool entry32) {
  ScanContext& ctx = context();
  // 1. Safe key list. Not for the entries of recent lists and usage records
  // (28 to 30): they are single values in keys the list shields as a whole
  // ("\\winzip", "\\mediaplayer", "-11d0-" of a usage key's identifier),
  // which would leave those lists never checked.
  if (!IsRecentEntryType(entry_type) && ctx.safe_lists && ctx.safe_lists->IsSafeKey(key)) return -1;
  // 2. The record.
  auto p = std::make_unique<CProblem>();
  p->entry_type = entry_type;
  p->key = Text(key);
  p->value_name = Text(value_name);
  p->value_data = Text(value_data);
  p->alternate_key = Text(alternate_key);
  p->selected = 1;
  p->entry32 = entry32 ? 1 : 0;
  // 3. A shared file's path (in the value name) against the safe key list.
  if (entry_type == 33 && ctx.safe_lists && ctx.safe_lists->IsSafeKey(value_name)) return -1;
  // 4. Root name and system protection (not for the file problems 34 and 40).
  const bool file_problem = entry_type == 34 || entry_type == 40;
  RegKey root = 0;
  Text subkey;
  const RegEnv& env = manager_.reg();
  const std::uint32_t mask = AccessMask(env.windows64, KeyAccess::kReadWrite, !entry32);
  if (!file_problem) {
    if (!SplitKeyPath(key, &root, &subkey)) return -1;
    if (manager_.major_version() > 5 && ctx.protection.IsKeyProtected(root, subkey, mask)) return -1;
  }
  // 5. The user's exclusions.
  if (ctx.exclusions && ctx.exclusions->Matches(key)) return -1;
  // 6. Already found.
  if (manager_.IsDuplicateProblem(*p)) return -1;
  // 7. History lists: the temporary ignore list.
  if (IsHistoryType(entry_type) && ctx.temp_ignore && ctx.temp_ignore->Matches(key)) return -1;
  // 8. An administrator must be able to change the key.
  if (manager_.is_admin() && !IsHistoryType(entry_type) && !file_problem && !KeyIsWritable(root, subkey, mask))
    return -1;
  // 9. Recorder and log line.
  p->recorder = &manager_.undo_holder();
  ctx.log.LogLine(u"Invalid Entry Found :\r\n EntryType:" + ToText(entry_type) + u"\r\n Key:" + LogSafe(key) +
                  u"\r\n ValueName:" + LogSafe(value_name) + u" \r\n ValueData:" + LogSafe(value_data) +
                  u" \r\n AlternateKey:" + LogSafe(alternate_key) + u" \r\n 32BitEntry:" + ToText(p->entry32));
  // 10. Append.
  manager_.NoteProblemAdded(*p);
  problems_.push_back(std::move(p));
  return static_cast<int>(problems_.size() - 1);
}

bool CCategory::FindEmptyKeys(RegKey root, TextView path, bool is64_view, const std::vector<Text>& skip,
                              bool recurse) {
  if (empty_key_depth_ >= kMaxEmptyKeyDepth) return false;
  ++empty_key_depth_;
  bool r = FindEmptyKeysAt(root, path, is64_view, skip, recurse);
  --empty_key_depth_;
  return r;
}

bool CCategory::FindEmptyKeysAt(RegKey root, TextView path, bool is64_view, const std::vector<Text>& skip,
                                bool recurse) {
  ScanContext& ctx = context();
  if (ctx.skip_empty_keys) return false;
  if (IsCancelled()) return true;
  const Text lower = Lowercase(path);
  for (const auto& s : skip)
    if (lower.find(s) != Text::npos) return false;

  const RegEnv& env = manager_.reg();
  const RegView view = is64_view ? RegView::k64 : RegView::k32;
  KeyHolder key(env.registry);
  if (key.Open(root, path, AccessMask(env.windows64, KeyAccess::kReadWrite, is64_view)) != err::kSuccess) return true;
  Text default_text;
  (void)ReadStringValue(env, root, path, u"", view, &default_text);
  std::vector<Text> subkeys, values;
  EnumSubkeyNames(env, key.get(), &subkeys);
  EnumValueNames(env, key.get(), &values);
  key.Reset();

  const bool empty = subkeys.empty() &&
                     (values.empty() || (values.size() == 1 && values[0].empty() && default_text.empty()));
  if (empty) {
    const Text full = RootName(root) + u"\\" + Text(path);
    const Text upper = Upcase(full);
    bool report = !EqualsNoCase(path, u"SOFTWARE\\CLASSES");
    for (const auto& f : ProtectedFragments())
      if (report && upper.find(f) != Text::npos) report = false;
    if (report) {
      auto open_brace = full.rfind(u'{');
      if (open_brace != Text::npos) {
        auto close_brace = full.find(u'}', open_brace);
        if (close_brace != Text::npos) {
          const Text g = Lowercase(TextView(full).substr(open_brace, close_brace - open_brace + 1));
          const std::uint32_t read = AccessMask(env.windows64, KeyAccess::kRead, is64_view);
          for (const char16_t* prefix : {u"clsid\\", u"typelib\\", u"interface\\"}) {
            KeyHolder k(env.registry);
            if (k.Open(kHkeyClassesRoot, Text(prefix) + g, read) != err::kSuccess) {
              report = false;
              break;
            }
          }
        }
      }
    }
    if (report) {
      int i = AddProblem(kEmptyKeyEntryType, full, u"", default_text, u"", !is64_view);
      AddProblemDetail(i, ctx.strings(u"IDS_EMPTY_KEY"));
      AddProblemDetail(i, full);
    }
  }
  if (recurse) {
    for (const auto& name : subkeys) {
      if (IsCancelled()) return true;
      (void)FindEmptyKeys(root, Text(path) + u"\\" + name, is64_view, skip, recurse);
    }
  }
  return false;
}

}  // namespace hs
