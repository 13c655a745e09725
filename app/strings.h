// Localised strings: the language table, the language choice in the
// registry, LookupString with its in-memory and persisted caches, and the
// language change.
//
// Every user-visible text is looked up by key in the current language file,
// an INI file next to the executable (section RESOURCESTRING). Keys the
// program uses are listed in app/string_keys.h.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "platform/file_system.h"
#include "platform/ini_reader.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/self_launcher.h"

namespace hs {

inline constexpr int kLanguageCount = 20;
// Under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER: LangID (DWORD), LangCode (SZ).
inline constexpr char16_t kLangKeyPath[] = u"Software\\Corvanta\\HiveSweep\\LANG";
inline constexpr char16_t kStringSection[] = u"RESOURCESTRING";
// Buffer of one INI read, in UTF-16 units with the terminator.
inline constexpr std::size_t kLookupCapacity = 4096;
// Shown (once) when a key has no text.
inline constexpr char16_t kReadFailureMessage[] =
    u"Fail to Read from dependent file. This application will close now! ";
// Largest persisted cache file that is read.
inline constexpr std::uint64_t kMaxStringCacheBytes = 16u * 1024 * 1024;

struct Language {
  const char16_t* code;
  const char16_t* display_name;
  const char16_t* file_name;  // used exactly as written, case included
  const char* locale;         // C runtime locale name
  const char16_t* font;
  int font_height;  // logical units; negative = character height
  int charset;      // Windows character set number
};

// Indexed by LangID; the language list and menu (command 475 + index) show
// the display names in this order.
inline constexpr std::array<Language, kLanguageCount> kLanguages = {{
    {u"en", u"English", u"eng_hsw.ini", "english", u"Arial", -12, 1},
    {u"zhtw", u"\u4e2d\u6587\u7e41\u9ad4 (Chinese Traditional)", u"traditionalcn_hsw_zh-tw.ini",
     "chinese-traditional", u"Arial", -12, 136},
    {u"da", u"Danske (Danish)", u"Danish_hsw.ini", "danish", u"Arial", -12, 1},
    {u"nl", u"Nederlands (Dutch)", u"Dutch_hsw.ini", "dutch", u"Arial", -11, 1},
    {u"fr", u"Fran\u00e7ais (French)", u"French_hsw.ini", "french", u"Arial", -12, 1},
    {u"de", u"Deutsch (German)", u"German_hsw.ini", "german", u"Arial", -12, 1},
    {u"it", u"Italiano (Italian)", u"Italian_hsw.ini", "italian", u"Arial", -12, 1},
    {u"ja", u"\u65e5\u672c\u8a9e (Japanese)", u"Japanese_hsw.ini", "japanese", u"Arial", -12, 128},
    {u"no", u"Norsk (Norwegian)", u"Norwegian_hsw.ini", "norwegian", u"Arial", -12, 1},
    {u"ptbr", u"Portugu\u00eas (Brasil)", u"Portuguese_hsw.ini", "portuguese", u"Arial", -12, 1},
    {u"es", u"Espa\u00f1ol (Spanish)", u"spanish_hsw.ini", "spanish", u"Arial", -11, 1},
    {u"sv", u"Svenska (Swedish)", u"swedish_hsw.ini", "swedish", u"Arial", -12, 1},
    {u"fi", u"Suomi (Finnish)", u"Finnish_hsw_fi.ini", "finnish", u"Arial", -12, 1},
    {u"pt", u"Portugu\u00eas (Portugal)", u"portugese_hsw_pt.ini", "portuguese", u"Arial", -12, 1},
    {u"ru", u"\u0420\u0443\u0441\u0441\u043a\u0438\u0439 (Russian)", u"russian_hsw_ru.ini", "russian", u"Arial",
     -11, 204},
    {u"el", u"\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac (Greek)", u"greek_hsw_el.ini", "greek", u"Arial",
     -12, 161},
    {u"tr", u"T\u00fcrk\u00e7e (Turkish)", u"Turkish_hsw_tr.ini", "turkish", u"Arial", -12, 162},
    {u"pl", u"Polski (Polish)", u"polish_hsw_pl.ini", "polish", u"Arial", -12, 238},
    {u"ko", u"\ud55c\uad6d\uc5b4(Korean)", u"korean_hsw_ko.ini", "korean", u"Arial", -12, 129},
    {u"zhcn", u"\u7b80\u4f53\u4e2d\u6587 (Chinese Simplified)", u"Chinese_hsw.ini", "chinese-simplified", u"Arial",
     -12, 136},
}};

// The record of a LangID; English (0) for an index outside the table.
const Language& LanguageRecord(int index);

// The pixel height (positive) of a screen font that is `design_height`
// pixels in English: scaled by the record's height against English's -12,
// so a language with -11 draws smaller to fit its longer texts. At least 8.
int ScreenFontHeight(const Language& language, int design_height);

// The language choice: LangID of `lang_key` under HKEY_LOCAL_MACHINE, then
// under HKEY_CURRENT_USER (which wins), each taken only as a 4-byte
// REG_DWORD. Each key is opened for reading and writing and created when
// missing; when that is refused (no administrator rights) it is opened for
// reading only. A value outside the table, or none, gives 0.
int CurrentLangID(Registry& registry, TextView lang_key = kLangKeyPath);

// A value as read from a language file, made ready for display: a leading
// double quote becomes a blank; the escapes \n, \t, \r and \\ become line
// feed, tab, carriage return and backslash (read left to right, so "\\n" is
// a backslash and an n); other backslashes stay; then blanks are trimmed.
Text CleanLanguageText(TextView raw);

// The string table of the process: the language file's path, the map of
// looked-up texts and the persisted copy of that map.
//
// Persisted cache: "<data folder>\<language file name without extension>.dat"
// in the archive encoding (engine/archive.h): the language file's full path
// (string), its size (U64), its last-write time (time value, whole seconds),
// then a count and that many key/text string pairs. It is used only when
// path (without regard to case), size and time match the language file; a
// file that does not match or does not decode is ignored.
//
// Every member is safe from any thread; lookups, loading and saving are
// atomic under one lock. The read-failure handler runs after that lock is
// released, on the thread of the lookup.
class StringTable {
 public:
  // Shows the read-failure message (an error message box titled with the
  // application title).
  using FailureHandler = std::function<void(TextView message)>;

  // The ports must outlive the table. `program_folder` is the folder of the
  // executable; `data_folder` may be empty (nothing is persisted then).
  // `lang_id` outside the table selects English.
  StringTable(IniReader& ini, FileSystem& fs, Log& log, TextView program_folder, TextView data_folder, int lang_id,
              FailureHandler on_read_failure);

  // The text of `key` in `section` (empty: RESOURCESTRING) of the language
  // file, through the cache: a non-empty text in the map is returned as is;
  // otherwise the file is read (kLookupCapacity), the value cleaned
  // (CleanLanguageText) and stored in the map, also when empty. An empty
  // text gives `default_text` instead, logs the key once and calls the
  // failure handler with kReadFailureMessage for the first such key only.
  // The map is keyed by the key alone for RESOURCESTRING, and by section and
  // key for other sections.
  Text LookupString(TextView key, TextView section = {}, TextView default_text = {});

  // Start-up: replaces the map with the persisted cache when that matches
  // the language file. False (map unchanged) when there is none, it does not
  // match, or it does not decode.
  bool LoadPersistedCache();

  // Shutdown: writes the persisted cache, replacing an older one. Nothing is
  // written, and the result says why, when there is no data folder (3), the
  // language file is missing (2), or the language file changed since this
  // table first looked at it (13: texts read before and after the change
  // may be mixed); otherwise the file system's result.
  [[nodiscard]] WinError SavePersistedCache();

  // Whether LookupString may answer from the map (on by default).
  void set_cache_enabled(bool enabled);

  int lang_id() const { return lang_id_; }
  const Text& language_file() const { return language_file_; }
  // Empty without a data folder.
  const Text& cache_file() const { return cache_file_; }
  std::size_t cached_count() const;

 private:
  // Records the language file's identity the first time the table looks at
  // the file. Lock held.
  void NoteIdentity();

  IniReader& ini_;
  FileSystem& fs_;
  Log& log_;
  FailureHandler on_read_failure_;
  int lang_id_;
  Text language_file_;
  Text cache_file_;

  mutable std::mutex mu_;
  std::map<Text, Text> map_;
  bool cache_enabled_ = true;
  bool failure_reported_ = false;
  std::set<Text> logged_missing_;
  bool identity_noted_ = false;
  std::optional<FileInfo> identity_;  // empty: the file was missing
};

// Language change from the general settings page or the language menu.
enum class LanguageChangeSource { kSettingsPage, kMenu };

enum class LanguageChangeResult {
  kSameLanguage,  // already the current language (settings page: IDS_SETTINGS_SAVED shown)
  kInvalidIndex,  // nothing done
  kDeclined,      // the user answered No
  kLaunchFailed,  // choice stored, but the new process did not start
  kRestarting,    // the new process started: end this one now, exit code 0
};

struct LanguageChangeUi {
  std::function<void(TextView text)> show_info;   // information message box
  std::function<bool(TextView text)> ask_yes_no;  // question box; true = Yes
};

// Compares `index` with CurrentLangID; when it differs, asks
// IDS_LANG_CHANGE_PROMPT, writes LangID and LangCode under HKEY_LOCAL_MACHINE
// then HKEY_CURRENT_USER (failures ignored) and starts the program again
// with "-changelang". When that start succeeded it logs "ExitProcess :
// changelang" (settings page) or "ExitProcess : language Change" (menu) and
// answers kRestarting; the caller must then end the process at once. A
// failed start keeps this process running (the choice applies at its next
// start).
LanguageChangeResult ChangeLanguage(int index, LanguageChangeSource source, Registry& registry,
                                    StringTable& strings, SelfLauncher& launcher, Log& log,
                                    const LanguageChangeUi& ui, TextView lang_key = kLangKeyPath);

}  // namespace hs
