#include "areas/history_lists.h"

#include "areas/file_types.h"

#include "engine/scan_manager.h"

namespace hs {

namespace {

constexpr std::size_t kMaxRecentValueChars = 260;
constexpr TextView kRunPidlPrefix = u"UEME_RUNPIDL:";
constexpr TextView kProgramsPrefix = u"UEME_RUNPIDL:%csidl2%\\";

constexpr int kTypeUnneededExtension = 26;
constexpr int kTypeOpenSaveEntry = 27;
constexpr int kTypeRecentEntry = 28;
constexpr int kTypeUsageShortcut = 29;
constexpr int kTypeUsageFolder = 30;

bool EndsWithNoCase(TextView text, TextView suffix) {
  return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

Text Joined(const Text& a, const Text& b) { return a.empty() ? b : a + u" " + b; }

}  // namespace

const std::vector<RecentListRow> kRecentLists = {
    {u"Media Player", u"Software\\Microsoft\\MediaPlayer\\Player\\RecentFileList", false},
    {u"WinRAR", u"Software\\WinRAR\\ArcHistory", false},
    {u"WinRAR", u"Software\\WinRAR\\DialogEditHistory\\ExtrPath", true},
    {u"WinZip", u"Software\\Nico Mak Computing\\WinZip\\filemenu", false},
    {u"WinZip", u"Software\\Nico Mak Computing\\WinZip\\extract", true},
    {u"Excel 9.0", u"Software\\Microsoft\\Office\\9.0\\Excel\\Recent Files", false},
    {u"Excel 10.0", u"Software\\Microsoft\\Office\\10.0\\Excel\\Recent Files", false},
    {u"Excel 11.0", u"Software\\Microsoft\\Office\\11.0\\Excel\\Recent Files", false},
    {u"Power Point 9.0", u"Software\\Microsoft\\Office\\9.0\\PowerPoint\\Recent File List", false},
    {u"Power Point 10.0", u"Software\\Microsoft\\Office\\10.0\\PowerPoint\\Recent File List", false},
    {u"Power Point 11.0", u"Software\\Microsoft\\Office\\11.0\\PowerPoint\\Recent File List", false},
    {u"MSPaper", u"Software\\Microsoft\\MSPaper 11.0\\Persist File Name", false},
    {u"MSPaper", u"Software\\Microsoft\\MSPaper 11.0\\Recent File List", false},
    {u"Wordpad", u"Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Wordpad\\Recent File List", false},
    {u"Paint", u"Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Paint\\Recent File List", false},
};

Text Rot13(TextView text) {
  Text out(text);
  for (char16_t& c : out) {
    if (c >= u'A' && c <= u'Z')
      c = static_cast<char16_t>(u'A' + (c - u'A' + 13) % 26);
    else if (c >= u'a' && c <= u'z')
      c = static_cast<char16_t>(u'a' + (c - u'a' + 13) % 26);
  }
  return out;
}

// ---- CUserAssSpy ----

bool CUserAssSpy::NamesEncoded() {
  KeyHolder k(env_.registry);
  if (k.Open(kHkeyCurrentUser, kUsageSettingsKey, read_mask_) != err::kSuccess) return true;
  RegValue v;
  if (env_.registry.QueryValue(k.get(), u"NoEncrypt", &v) != err::kSuccess) return true;
  if ((v.type == kRegDword && v.data.size() == 4) || (v.type == kRegQword && v.data.size() == 8)) {
    for (std::uint8_t b : v.data)
      if (b != 0) return false;
  }
  return true;
}

std::vector<CUserAssSpy::Record> CUserAssSpy::ReadRecords(TextView usage_key, bool encoded) {
  std::vector<Record> out;
  KeyHolder k(env_.registry);
  if (k.Open(kHkeyCurrentUser, usage_key, read_mask_) != err::kSuccess) return out;
  RegKeyInfo info;
  if (env_.registry.QueryInfo(k.get(), &info) != err::kSuccess) return out;
  for (std::uint32_t i = 0; i < info.values; ++i) {
    Text name;
    RegValue value;
    if (env_.registry.EnumValue(k.get(), i, kMaxNameChars + 1, kMaxDataBytes, &name, &value) != err::kSuccess) continue;
    Text decoded = encoded ? Rot13(name) : name;
    if (decoded.compare(0, kRunPidlPrefix.size(), kRunPidlPrefix) != 0) continue;
    out.push_back(Record{std::move(name), std::move(decoded)});
  }
  return out;
}

// ---- CHistoryLists ----

CHistoryLists::CHistoryLists(ScanManager& manager) : CShellArea(0x0020, manager) {}

bool CHistoryLists::PrepareScan() { return true; }

std::uint32_t CHistoryLists::HistoryReadMask() const { return ReadMask(false); }

int CHistoryLists::Scan() {
  (void)PrepareScan();
  user_programs_ = ProgramsFolder(false);
  common_programs_ = ProgramsFolder(true);
  if (ScanFileExtensions() == 2) return 2;
  if (ScanOpenSaveLists() == 2) return 2;
  if (ScanUsageRecords() == 2) return 2;
  for (const RecentListRow& row : kRecentLists)
    if (ScanRecentList(row.key, kTypeRecentEntry, row.label, row.names_folders) == 2) return 2;
  Sort();
  return 1;
}

int CHistoryLists::ScanFileExtensions() {
  const RegEnv& e = env();
  const std::uint32_t read = HistoryReadMask();
  std::vector<Text> extensions;
  {
    KeyHolder k(e.registry);
    if (k.Open(kHkeyCurrentUser, kFileExtsKey, read) != err::kSuccess) return IsCancelled() ? 2 : 1;
    EnumSubkeyNames(e, k.get(), &extensions);
  }
  const Text progress = String(u"IDS_HISTORY_LIST_FOR");
  for (const Text& ext : extensions) {
    Pause();
    if (IsCancelled()) return 2;
    ReportProgress(Joined(progress, ext));
    // A stray "OpenWithList" right below FileExts is no extension.
    if (EqualsNoCase(ext, u"OpenWithList")) continue;
    const Text sub = Text(kFileExtsKey) + u"\\" + ext;
    KeyHolder k(e.registry);
    if (k.Open(kHkeyCurrentUser, sub, read) != err::kSuccess) continue;
    std::vector<Text> subkeys, values;
    EnumSubkeyNames(e, k.get(), &subkeys);
    EnumValueNames(e, k.get(), &values);
    bool unneeded = subkeys.empty() && values.empty();
    if (subkeys.size() == 1 && values.empty() && EqualsNoCase(subkeys[0], u"OpenWithList")) {
      KeyHolder list(e.registry);
      std::vector<Text> list_subkeys, list_values;
      if (list.Open(k.get(), subkeys[0], read) == err::kSuccess) {
        EnumSubkeyNames(e, list.get(), &list_subkeys);
        EnumValueNames(e, list.get(), &list_values);
        unneeded = list_subkeys.empty() && list_values.empty();
      }
    }
    if (!unneeded) continue;
    const Text key = u"HKEY_CURRENT_USER\\" + sub;
    const Text described = ExtensionDetail(ext);
    const int index = AddProblem(kTypeUnneededExtension, key, u"", u"", key + u"\\OpenWithList", windows64());
    AddProblemDetail(index, described);
    AddProblemDetail(index, FormatText(u"%s %s %s", {u"Explorer", String(u"IDS_HISTLIST_UNNEEDED"), described}));
    AddProblemDetail(index, key);
  }
  return 1;
}

int CHistoryLists::ScanOpenSaveLists() {
  const RegEnv& e = env();
  std::vector<Text> lists;
  {
    KeyHolder k(e.registry);
    if (k.Open(kHkeyCurrentUser, kOpenSaveKey, HistoryReadMask()) != err::kSuccess) return IsCancelled() ? 2 : 1;
    EnumSubkeyNames(e, k.get(), &lists);
  }
  const Text progress = String(u"IDS_OPEN_SAVE_MRU");
  for (const Text& list : lists) {
    Pause();
    if (IsCancelled()) return 2;
    ReportProgress(progress.empty() ? list : progress + u": " + list);
    if (ScanRecentList(Text(kOpenSaveKey) + u"\\" + list, kTypeOpenSaveEntry, u"File", false) == 2) return 2;
  }
  return 1;
}

int CHistoryLists::ScanRecentList(TextView key, int entry_type, TextView label, bool names_folders) {
  const RegEnv& e = env();
  KeyHolder k(e.registry);
  if (k.Open(kHkeyCurrentUser, key, HistoryReadMask()) != err::kSuccess) return IsCancelled() ? 2 : 1;
  std::vector<Text> names;
  EnumValueNames(e, k.get(), &names);
  const Text full = u"HKEY_CURRENT_USER\\" + Text(key);
  for (const Text& name : names) {
    if (IsCancelled()) return 2;
    if (EqualsNoCase(name, u"MRUList")) continue;
    Text data;
    if (ReadValueText(e.registry, k.get(), name, kMaxRecentValueChars, &data) != ValueText::kText || data.empty())
      continue;
    Text path = CleanPath(data);
    if (path.empty()) continue;
    const bool gone = names_folders ? PathJudged(path) && !ItemExists(path) : ReferenceGone(path);
    if (!gone) continue;
    while (path.size() > 3 && path.back() == u'\\') path.pop_back();
    Report(entry_type, full, name, data, windows64(),
           {FormatText(u"%s %s %s", {Text(label), String(u"IDS_HISTLIST_INVALID"), FileNamePart(path)}),
            FolderPart(path), Text(label)});
  }
  return 1;
}

int CHistoryLists::ScanUsageRecords() {
  ReportProgress(String(u"IDS_USER_ASSIST_KEYS"));
  if (user_programs_.empty() && common_programs_.empty()) return IsCancelled() ? 2 : 1;
  CUserAssSpy spy(env(), HistoryReadMask());
  const bool encoded = spy.NamesEncoded();
  for (TextView usage_key : kUsageKeys) {
    const std::vector<CUserAssSpy::Record> records = spy.ReadRecords(usage_key, encoded);
    for (const CUserAssSpy::Record& r : records) {
      if (IsCancelled()) return 2;
      if (r.decoded.size() <= kProgramsPrefix.size() || !StartsWithNoCase(r.decoded, kProgramsPrefix)) continue;
      ReportProgress(Joined(String(u"IDS_USERASSIST_KEY"), r.decoded));
      const Text relative = r.decoded.substr(kProgramsPrefix.size());
      const bool shortcut = EndsWithNoCase(relative, u".lnk");
      bool present = false;
      for (const Text* programs : {&user_programs_, &common_programs_}) {
        if (programs->empty() || present) continue;
        const Text path = JoinWithBackslash(*programs, relative);
        present = shortcut ? !ReferenceGone(path) : ItemExists(path);
      }
      if (present) continue;
      const Text folder = FolderPart(relative);
      Report(shortcut ? kTypeUsageShortcut : kTypeUsageFolder, u"HKEY_CURRENT_USER\\" + Text(usage_key), r.raw, u"",
             windows64(),
             {FormatText(String(u"IDS_STARTMENU_HIST"), {shortcut ? u"shortcut" : u"folder", relative}),
              folder.empty() ? Text(u"<Root folder>") : folder, relative});
    }
  }
  return 1;
}

}  // namespace hs
