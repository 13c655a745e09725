#include "app/strings.h"

#include <exception>

#include "engine/archive.h"
#include "engine/registry_helpers.h"

namespace hs {

namespace {

// KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, and KEY_READ.
constexpr std::uint32_t kReadWriteMask = 0x2001F;
constexpr std::uint32_t kReadMask = 0x20019;
// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kFiletimeEpochSeconds = 11644473600;

std::int64_t UnixSeconds(std::uint64_t filetime) {
  return static_cast<std::int64_t>(filetime / 10000000u) - kFiletimeEpochSeconds;
}

Text JoinPath(TextView folder, TextView name) {
  Text out(folder);
  if (!out.empty() && out.back() != u'\\' && out.back() != u'/') out.push_back(u'\\');
  out.append(name);
  return out;
}

bool IsDefaultSection(TextView section) { return section.empty() || EqualsNoCase(section, kStringSection); }

Text MapKey(TextView section, TextView key) {
  if (IsDefaultSection(section)) return Text(key);
  // INI names end at a NUL, so this cannot collide with a plain key.
  Text k(section);
  k.push_back(u'\0');
  k.append(key);
  return k;
}


// LangID of one root; false when the key cannot be opened or holds no
// 4-byte REG_DWORD.
bool ReadLangId(Registry& registry, RegKey root, TextView lang_key, std::uint32_t* out) {
  KeyHolder key(registry);
  if (key.Open(root, lang_key, kReadWriteMask, /*create=*/true) != err::kSuccess &&
      key.Open(root, lang_key, kReadMask) != err::kSuccess)
    return false;
  RegValue v;
  if (registry.QueryValue(key.get(), u"LangID", &v) != err::kSuccess) return false;
  if (v.type != kRegDword || v.data.size() != 4) return false;
  *out = static_cast<std::uint32_t>(v.data[0]) | (static_cast<std::uint32_t>(v.data[1]) << 8) |
         (static_cast<std::uint32_t>(v.data[2]) << 16) | (static_cast<std::uint32_t>(v.data[3]) << 24);
  return true;
}

void WriteLangValues(Registry& registry, RegKey root, TextView lang_key, int index) {
  KeyHolder key(registry);
  if (key.Open(root, lang_key, kReadWriteMask, /*create=*/true) != err::kSuccess) return;
  (void)registry.SetValue(key.get(), u"LangID", kRegDword, DwordData(static_cast<std::uint32_t>(index)));
  (void)registry.SetValue(key.get(), u"LangCode", kRegSz, SzData(LanguageRecord(index).code));
}

}  // namespace

const Language& LanguageRecord(int index) {
  return index >= 0 && index < kLanguageCount ? kLanguages[static_cast<std::size_t>(index)] : kLanguages[0];
}

int ScreenFontHeight(const Language& language, int design_height) {
  constexpr int kEnglishHeight = 12;
  const int record = language.font_height < 0 ? -language.font_height : language.font_height;
  const int scaled = (design_height * (record == 0 ? kEnglishHeight : record) + kEnglishHeight / 2) / kEnglishHeight;
  return scaled < 8 ? 8 : scaled;
}

int CurrentLangID(Registry& registry, TextView lang_key) {
  std::uint32_t id = 0;
  std::uint32_t v = 0;
  if (ReadLangId(registry, kHkeyLocalMachine, lang_key, &v)) id = v;
  if (ReadLangId(registry, kHkeyCurrentUser, lang_key, &v)) id = v;
  return id < static_cast<std::uint32_t>(kLanguageCount) ? static_cast<int>(id) : 0;
}

Text CleanLanguageText(TextView raw) {
  Text t;
  t.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char16_t c = raw[i];
    if (i == 0 && c == u'"') {
      t.push_back(u' ');
      continue;
    }
    if (c == u'\\' && i + 1 < raw.size()) {
      char16_t n = raw[i + 1];
      char16_t out = n == u'n' ? u'\n' : n == u't' ? u'\t' : n == u'r' ? u'\r' : n == u'\\' ? u'\\' : 0;
      if (out != 0) {
        t.push_back(out);
        ++i;
        continue;
      }
    }
    t.push_back(c);
  }
  return Trim(t);
}

StringTable::StringTable(IniReader& ini, FileSystem& fs, Log& log, TextView program_folder, TextView data_folder,
                         int lang_id, FailureHandler on_read_failure)
    : ini_(ini),
      fs_(fs),
      log_(log),
      on_read_failure_(std::move(on_read_failure)),
      lang_id_(lang_id >= 0 && lang_id < kLanguageCount ? lang_id : 0) {
  const Text file_name = LanguageRecord(lang_id_).file_name;
  language_file_ = JoinPath(program_folder, file_name);
  if (!data_folder.empty()) {
    Text stem = file_name.substr(0, file_name.rfind(u'.'));
    cache_file_ = JoinPath(data_folder, stem + u".dat");
  }
}

void StringTable::NoteIdentity() {
  if (identity_noted_) return;
  identity_noted_ = true;
  FileInfo info;
  if (fs_.GetFileInfo(language_file_, &info) == err::kSuccess && !info.is_directory) identity_ = info;
}

Text StringTable::LookupString(TextView key, TextView section, TextView default_text) {
  bool report = false;
  try {
    std::lock_guard<std::mutex> lock(mu_);
    const Text map_key = MapKey(section, key);
    if (cache_enabled_) {
      auto it = map_.find(map_key);
      if (it != map_.end() && !it->second.empty()) return it->second;
    }
    NoteIdentity();
    const Text raw = ini_.ReadString(language_file_, section.empty() ? TextView(kStringSection) : section, key,
                                     u"", kLookupCapacity);
    Text text = CleanLanguageText(raw);
    map_.insert_or_assign(map_key, text);
    if (!text.empty()) return text;
    if (logged_missing_.insert(map_key).second)
      log_.LogLine(u"No language text for " + LogSafe(key) + u" in " + LogSafe(language_file_));
    report = !failure_reported_;
    failure_reported_ = true;
  } catch (const std::exception&) {
    // Out of memory: treated as a missing text.
  }
  if (report && on_read_failure_) on_read_failure_(kReadFailureMessage);
  return Text(default_text);
}

bool StringTable::LoadPersistedCache() {
  std::lock_guard<std::mutex> lock(mu_);
  NoteIdentity();
  if (cache_file_.empty() || !identity_) return false;
  try {
    std::vector<std::uint8_t> bytes;
    if (fs_.ReadFile(cache_file_, kMaxStringCacheBytes, &bytes) != err::kSuccess) return false;
    ArchiveReader r(bytes.data(), bytes.size());
    Text path;
    std::uint64_t size = 0;
    std::int64_t time = 0;
    std::uint64_t count = 0;
    if (!r.String(&path) || !r.U64(&size) || !r.Time(&time)) return false;
    if (!EqualsNoCase(path, language_file_) || size != identity_->size || time != UnixSeconds(identity_->last_write))
      return false;
    if (!r.Count(&count, 2 * kArchiveMinStringBytes)) return false;
    std::map<Text, Text> loaded;
    for (std::uint64_t i = 0; i < count; ++i) {
      Text k, v;
      if (!r.String(&k) || !r.String(&v)) return false;
      loaded.insert_or_assign(std::move(k), std::move(v));
    }
    if (!r.AtEnd()) return false;
    map_ = std::move(loaded);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

WinError StringTable::SavePersistedCache() {
  std::lock_guard<std::mutex> lock(mu_);
  if (cache_file_.empty()) return err::kPathNotFound;
  NoteIdentity();
  FileInfo now;
  if (WinError e = fs_.GetFileInfo(language_file_, &now)) return e;
  if (now.is_directory) return err::kFileNotFound;
  if (!identity_ || identity_->size != now.size || identity_->last_write != now.last_write)
    return err::kInvalidData;
  try {
    ArchiveWriter w;
    w.String(language_file_);
    w.U64(now.size);
    w.Time(UnixSeconds(now.last_write));
    w.Count(map_.size());
    for (const auto& [k, v] : map_) {
      w.String(k);
      w.String(v);
    }
    if (!w.ok()) return err::kInvalidData;
    return fs_.WriteFileAtomic(cache_file_, w.data());
  } catch (const std::exception&) {
    return err::kNotEnoughMemory;
  }
}

void StringTable::set_cache_enabled(bool enabled) {
  std::lock_guard<std::mutex> lock(mu_);
  cache_enabled_ = enabled;
}

std::size_t StringTable::cached_count() const {
  std::lock_guard<std::mutex> lock(mu_);
  return map_.size();
}

LanguageChangeResult ChangeLanguage(int index, LanguageChangeSource source, Registry& registry,
                                    StringTable& strings, SelfLauncher& launcher, Log& log,
                                    const LanguageChangeUi& ui, TextView lang_key) {
  if (index < 0 || index >= kLanguageCount) return LanguageChangeResult::kInvalidIndex;
  if (index == CurrentLangID(registry, lang_key)) {
    if (source == LanguageChangeSource::kSettingsPage && ui.show_info)
      ui.show_info(strings.LookupString(u"IDS_SETTINGS_SAVED"));
    return LanguageChangeResult::kSameLanguage;
  }
  if (!ui.ask_yes_no || !ui.ask_yes_no(strings.LookupString(u"IDS_LANG_CHANGE_PROMPT")))
    return LanguageChangeResult::kDeclined;
  WriteLangValues(registry, kHkeyLocalMachine, lang_key, index);
  WriteLangValues(registry, kHkeyCurrentUser, lang_key, index);
  if (WinError e = launcher.StartSelf(LaunchVerb::kOpen, u"-changelang")) {
    log.LogLine(u"Language change: the program could not be restarted, error " + ToText(e));
    return LanguageChangeResult::kLaunchFailed;
  }
  log.LogLine(source == LanguageChangeSource::kSettingsPage ? u"ExitProcess : changelang"
                                                            : u"ExitProcess : language Change");
  return LanguageChangeResult::kRestarting;
}

}  // namespace hs
