#include "platform/portable/portable_machine.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>

#include "platform/hive_limits.h"
#include "platform/reg_text.h"
#include "platform/shell_paths.h"

namespace hs {

namespace stdfs = std::filesystem;

const std::vector<SpecialFolderName> kSpecialFolderNames = {
    {"programs", 0x02},          {"personal", 0x05},          {"favorites", 0x06},
    {"startup", 0x07},           {"recent", 0x08},            {"sendto", 0x09},
    {"start_menu", 0x0B},        {"desktop", 0x10},           {"nethood", 0x13},
    {"fonts", 0x14},             {"templates", 0x15},         {"common_start_menu", 0x16},
    {"common_programs", 0x17},   {"common_startup", 0x18},    {"common_desktop", 0x19},
    {"appdata", 0x1A},           {"local_appdata", 0x1C},     {"internet_cache", 0x20},
    {"cookies", 0x21},           {"history", 0x22},           {"common_appdata", 0x23},
    {"windows", 0x24},           {"system", 0x25},            {"program_files", 0x26},
    {"my_pictures", 0x27},       {"profile", 0x28},           {"systemx86", 0x29},
    {"program_files_x86", 0x2A}, {"program_files_common", 0x2B}, {"program_files_common_x86", 0x2C},
};

namespace {

constexpr int kCsidlAppData = 0x1A;

struct Fault {
  int line;
  std::string what;
};

bool IsDriveAbsolute(TextView p) {
  return p.size() >= 3 && ((p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z')) && p[1] == u':' &&
         p[2] == u'\\';
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string TrimAscii(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

// One "name = value" line as written.
struct Entry {
  int line;
  std::string name;
  Text value;
};

struct RawDescription {
  std::map<std::string, Entry> machine;  // by lower-case name
  std::vector<Entry> drives;
  std::vector<Entry> environment;
  std::map<std::string, Entry> folders;
  std::vector<Entry> hives;
};

bool ParseBool(const Entry& e, bool* out, Fault* fault) {
  const std::string v = Lower(ToUtf8(e.value));
  if (v == "yes" || v == "true" || v == "1") *out = true;
  else if (v == "no" || v == "false" || v == "0") *out = false;
  else {
    *fault = {e.line, e.name + ": expected yes or no, not \"" + ToUtf8(e.value) + "\""};
    return false;
  }
  return true;
}

bool ParseFolder(const Entry& e, Text* out, Fault* fault) {
  if (!IsDriveAbsolute(e.value) || e.value.size() > kMaxPathChars - 1) {
    *fault = {e.line, e.name + ": expected a full path like C:\\Folder, not \"" + ToUtf8(e.value) + "\""};
    return false;
  }
  *out = e.value;
  while (out->size() > 3 && out->back() == u'\\') out->pop_back();
  return true;
}

bool ParseFolderList(const Entry& e, std::vector<Text>* out, Fault* fault) {
  out->clear();
  for (const Text& piece : Split(e.value, u';')) {
    const Text item = Trim(piece);
    if (item.empty()) continue;
    Text folder;
    if (!ParseFolder(Entry{e.line, e.name, item}, &folder, fault)) return false;
    out->push_back(folder);
  }
  return true;
}

// Splits the text into sections and entries; checks names and duplicates.
bool ReadSections(std::string_view text, RawDescription* raw, Fault* fault) {
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (ToUtf8(FromUtf8(text)) != text) {
    *fault = {0, "not UTF-8 text"};
    return false;
  }
  std::string section;
  int line_no = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw_line = text.substr(pos, end - pos);
    pos = end + 1;
    ++line_no;
    if (!raw_line.empty() && raw_line.back() == '\r') raw_line.remove_suffix(1);
    for (char c : raw_line) {
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
        *fault = {line_no, "control character in the line"};
        return false;
      }
    }
    const std::string line = TrimAscii(raw_line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') {
        *fault = {line_no, "a section line is [name]"};
        return false;
      }
      section = Lower(TrimAscii(std::string_view(line).substr(1, line.size() - 2)));
      if (section != "machine" && section != "drives" && section != "environment" && section != "folders" &&
          section != "hives") {
        *fault = {line_no, "unknown section [" + section + "]"};
        return false;
      }
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) {
      *fault = {line_no, "expected name = value"};
      return false;
    }
    if (section.empty()) {
      *fault = {line_no, "an entry before the first [section]"};
      return false;
    }
    Entry e{line_no, TrimAscii(std::string_view(line).substr(0, eq)),
            FromUtf8(TrimAscii(std::string_view(line).substr(eq + 1)))};
    if (e.name.empty()) {
      *fault = {line_no, "an entry without a name"};
      return false;
    }
    const std::string key = Lower(e.name);
    auto duplicate = [&](const std::vector<Entry>& list) {
      return std::any_of(list.begin(), list.end(), [&](const Entry& o) { return Lower(o.name) == key; });
    };
    if (section == "machine" || section == "folders") {
      auto& map = section == "machine" ? raw->machine : raw->folders;
      if (!map.emplace(key, e).second) {
        *fault = {line_no, "\"" + e.name + "\" is given twice"};
        return false;
      }
    } else {
      auto& list = section == "drives" ? raw->drives : section == "hives" ? raw->hives : raw->environment;
      if (duplicate(list)) {
        *fault = {line_no, "\"" + e.name + "\" is given twice"};
        return false;
      }
      list.push_back(std::move(e));
    }
  }
  return true;
}

void SetVariable(std::vector<std::pair<Text, Text>>* env, TextView name, TextView value) {
  auto it = std::find_if(env->begin(), env->end(), [&](const auto& v) { return EqualsNoCase(v.first, name); });
  if (value.empty()) {
    if (it != env->end()) env->erase(it);
  } else if (it != env->end()) {
    it->second = Text(value);
  } else {
    env->emplace_back(Text(name), Text(value));
  }
}

bool Build(const RawDescription& raw, const std::vector<char16_t>& drives_with_files, MachineDescription* out,
           Fault* fault) {
  static const std::vector<std::string> kMachineNames = {"windows64", "version", "administrator",
                                                         "user", "windows", "current_directory",
                                                         "path", "protected_files", "protected_keys"};
  for (const auto& [key, e] : raw.machine) {
    if (std::find(kMachineNames.begin(), kMachineNames.end(), key) == kMachineNames.end()) {
      *fault = {e.line, "unknown name \"" + e.name + "\" in [machine]"};
      return false;
    }
  }
  auto find = [&](const char* name) -> const Entry* {
    const auto it = raw.machine.find(name);
    return it == raw.machine.end() ? nullptr : &it->second;
  };

  bool windows64 = true, admin = true;
  int version = 6;
  Text user = u"User", windows = u"C:\\Windows";
  if (const Entry* e = find("windows64"); e && !ParseBool(*e, &windows64, fault)) return false;
  if (const Entry* e = find("administrator"); e && !ParseBool(*e, &admin, fault)) return false;
  if (const Entry* e = find("version")) {
    if (e->value != u"5" && e->value != u"6") {
      *fault = {e->line, "version: 5 or 6 (the Windows major version)"};
      return false;
    }
    version = e->value == u"5" ? 5 : 6;
  }
  if (const Entry* e = find("user")) {
    if (e->value.empty() || e->value.size() > 64 ||
        e->value.find_first_of(u"\\/:*?\"<>|%;") != Text::npos || Trim(e->value) != e->value) {
      *fault = {e->line, "user: a plain account name"};
      return false;
    }
    user = e->value;
  }
  if (const Entry* e = find("windows"); e && !ParseFolder(*e, &windows, fault)) return false;

  const Text drive = Text{UpcaseUnit(windows[0]), u':'};
  const Text system = windows + u"\\system32";
  const Text sys_wow64 = windows64 ? windows + u"\\SysWOW64" : Text();
  const Text pf64 = drive + u"\\Program Files";
  const Text pf86 = windows64 ? drive + u"\\Program Files (x86)" : pf64;  // what a 32-bit program sees
  const bool xp = version == 5;
  const Text users = drive + (xp ? u"\\Documents and Settings" : u"\\Users");
  const Text profile = users + u"\\" + user;
  const Text common = xp ? users + u"\\All Users" : drive + u"\\ProgramData";
  const Text appdata = profile + (xp ? u"\\Application Data" : u"\\AppData\\Roaming");
  const Text local = profile + (xp ? u"\\Local Settings\\Application Data" : u"\\AppData\\Local");
  const Text shell_user = xp ? profile : appdata + u"\\Microsoft\\Windows";
  const Text start_menu = shell_user + u"\\Start Menu";
  const Text common_start = (xp ? common : common + u"\\Microsoft\\Windows") + u"\\Start Menu";
  const Text temp = xp ? profile + u"\\Local Settings\\Temp" : local + u"\\Temp";

  MachineDescription d;
  d.user = user;
  d.facts.major_version = version;
  d.facts.administrator = admin;
  d.facts.system_directory = system;
  d.facts.system_wow64_directory = sys_wow64;
  d.shell.windows64 = windows64;
  d.shell.windows_directory = windows;
  d.shell.system_directory = system;
  d.shell.current_directory = drive + u"\\";
  d.shell.search_path = {system, windows, system + u"\\Wbem"};

  // Drives: the folders, then what [drives] says.
  for (char16_t letter : drives_with_files) d.shell.drives[letter] = drive_type::kFixed;
  static const std::map<std::string, std::uint32_t> kDriveTypes = {
      {"fixed", drive_type::kFixed},   {"removable", drive_type::kRemovable}, {"cdrom", drive_type::kCdRom},
      {"remote", drive_type::kRemote}, {"ramdisk", drive_type::kRamDisk},     {"unknown", drive_type::kUnknown},
      {"none", drive_type::kNoRootDir}};
  for (const Entry& e : raw.drives) {
    const Text name = FromUtf8(e.name);
    if (name.size() != 1 || UpcaseUnit(name[0]) < u'A' || UpcaseUnit(name[0]) > u'Z') {
      *fault = {e.line, "a drive is one letter, not \"" + e.name + "\""};
      return false;
    }
    const auto t = kDriveTypes.find(Lower(ToUtf8(e.value)));
    if (t == kDriveTypes.end()) {
      *fault = {e.line, "drive " + e.name + ": fixed, removable, cdrom, remote, ramdisk, unknown or none"};
      return false;
    }
    if (t->second == drive_type::kNoRootDir) d.shell.drives.erase(UpcaseUnit(name[0]));
    else d.shell.drives[UpcaseUnit(name[0])] = t->second;
  }

  // The environment of a 32-bit program, then what [environment] says.
  auto& env = d.shell.environment;
  SetVariable(&env, u"ALLUSERSPROFILE", common);
  SetVariable(&env, u"APPDATA", appdata);
  SetVariable(&env, u"CommonProgramFiles", pf86 + u"\\Common Files");
  if (windows64) {
    SetVariable(&env, u"CommonProgramFiles(x86)", pf86 + u"\\Common Files");
    SetVariable(&env, u"CommonProgramW6432", pf64 + u"\\Common Files");
  }
  SetVariable(&env, u"ComSpec", system + u"\\cmd.exe");
  SetVariable(&env, u"HOMEDRIVE", drive);
  SetVariable(&env, u"HOMEPATH", profile.substr(2));
  if (!xp) {
    SetVariable(&env, u"LOCALAPPDATA", local);
    SetVariable(&env, u"ProgramData", common);
  }
  SetVariable(&env, u"ProgramFiles", pf86);
  if (windows64) {
    SetVariable(&env, u"ProgramFiles(x86)", pf86);
    SetVariable(&env, u"ProgramW6432", pf64);
  }
  if (!xp) SetVariable(&env, u"PUBLIC", users + u"\\Public");
  SetVariable(&env, u"SystemDrive", drive);
  SetVariable(&env, u"SystemRoot", windows);
  SetVariable(&env, u"TEMP", temp);
  SetVariable(&env, u"TMP", temp);
  SetVariable(&env, u"USERNAME", user);
  SetVariable(&env, u"USERPROFILE", profile);
  SetVariable(&env, u"windir", windows);
  for (const Entry& e : raw.environment) {
    const Text name = FromUtf8(e.name);
    if (name.find_first_of(u"=%") != Text::npos) {
      *fault = {e.line, "a variable name holds neither '=' nor '%'"};
      return false;
    }
    if (EqualsNoCase(name, u"PATH")) {
      *fault = {e.line, "PATH is set by path in [machine]"};
      return false;
    }
    SetVariable(&env, name, e.value);
  }

  // Special folders as Windows places them, then what [folders] says.
  auto& special = d.folders.special;
  special[0x02] = start_menu + u"\\Programs";
  special[0x05] = profile + (xp ? u"\\My Documents" : u"\\Documents");
  special[0x06] = profile + u"\\Favorites";
  special[0x07] = start_menu + u"\\Programs\\Startup";
  special[0x08] = shell_user + u"\\Recent";
  special[0x09] = shell_user + u"\\SendTo";
  special[0x0B] = start_menu;
  special[0x10] = profile + u"\\Desktop";
  special[0x13] = shell_user + (xp ? u"\\NetHood" : u"\\Network Shortcuts");
  special[0x14] = windows + u"\\Fonts";
  special[0x15] = shell_user + u"\\Templates";
  special[0x16] = common_start;
  special[0x17] = common_start + u"\\Programs";
  special[0x18] = common_start + u"\\Programs\\Startup";
  special[0x19] = xp ? common + u"\\Desktop" : users + u"\\Public\\Desktop";
  special[0x1A] = appdata;
  special[0x1C] = local;
  special[0x20] = xp ? profile + u"\\Local Settings\\Temporary Internet Files"
                     : local + u"\\Microsoft\\Windows\\Temporary Internet Files";
  special[0x21] = xp ? profile + u"\\Cookies" : shell_user + u"\\Cookies";
  special[0x22] = xp ? profile + u"\\Local Settings\\History" : local + u"\\Microsoft\\Windows\\History";
  special[0x23] = xp ? common + u"\\Application Data" : common;
  special[0x24] = windows;
  special[0x25] = system;
  special[0x26] = pf86;
  special[0x27] = xp ? special[0x05] + u"\\My Pictures" : profile + u"\\Pictures";
  special[0x28] = profile;
  special[0x29] = windows64 ? sys_wow64 : system;
  special[0x2B] = pf86 + u"\\Common Files";
  if (windows64) {
    special[0x2A] = pf86;
    special[0x2C] = pf86 + u"\\Common Files";
  }
  for (const auto& [key, e] : raw.folders) {
    const auto it = std::find_if(kSpecialFolderNames.begin(), kSpecialFolderNames.end(),
                                 [&](const SpecialFolderName& n) { return key == n.name; });
    if (it == kSpecialFolderNames.end()) {
      *fault = {e.line, "unknown folder \"" + e.name + "\""};
      return false;
    }
    Text folder;
    if (!ParseFolder(e, &folder, fault)) return false;
    special[it->csidl] = folder;
  }
  // The loaded hives, as the hivelist key names them.
  for (const Entry& e : raw.hives) {
    const Text name = FromUtf8(e.name);
    if (!StartsWithNoCase(name, u"\\REGISTRY\\") || name.size() > kMaxHiveNameChars) {
      *fault = {e.line, "a hive is named \\REGISTRY\\..., not \"" + e.name + "\""};
      return false;
    }
    if (e.value.empty() || e.value.size() * 2 > kMaxHivePathBytes) {
      *fault = {e.line, e.name + ": expected the hive file's path"};
      return false;
    }
    d.hives.push_back({name, e.value});
  }
  // The desktop (CSIDL 0) resolves to the desktop folder.
  if (!special.count(0x00)) special[0x00] = special[0x10];
  d.folders.app_data = special[kCsidlAppData];

  if (const Entry* e = find("current_directory"); e && !ParseFolder(*e, &d.shell.current_directory, fault))
    return false;
  if (const Entry* e = find("path"); e && !ParseFolderList(*e, &d.shell.search_path, fault)) return false;
  if (const Entry* e = find("protected_files"); e && !ParseFolderList(*e, &d.shell.protected_files, fault))
    return false;
  if (const Entry* e = find("protected_keys")) {
    for (const Text& piece : Split(e->value, u';')) {
      const Text key = Trim(piece);
      if (key.empty()) continue;
      RegKey root = 0;
      const std::size_t slash = key.find(u'\\');
      if (!ParseRegRootName(key.substr(0, slash), &root) || slash == Text::npos || slash + 1 == key.size()) {
        *fault = {e->line, "protected_keys: ROOT\\subkey paths, not \"" + ToUtf8(key) + "\""};
        return false;
      }
      d.protected_keys.push_back(key);
    }
  }
  *out = std::move(d);
  return true;
}

// A host file read in pieces.
class StreamRegTextSource final : public RegTextByteSource {
 public:
  explicit StreamRegTextSource(std::istream& in) : in_(in) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    if (failed_ || !in_) return 0;
    in_.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(size));
    if (in_.bad()) failed_ = true;
    return static_cast<std::size_t>(in_.gcount());
  }
  bool failed() const override { return failed_; }

 private:
  std::istream& in_;
  bool failed_ = false;
};

bool ReadHostFile(const stdfs::path& path, std::uint64_t limit, std::string* out, std::string* error) {
  std::error_code ec;
  const std::uint64_t size = stdfs::file_size(path, ec);
  if (ec) {
    *error = path.string() + ": cannot read the file (" + ec.message() + ")";
    return false;
  }
  if (size > limit) {
    *error = path.string() + ": larger than " + std::to_string(limit) + " bytes";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    *error = path.string() + ": cannot read the file";
    return false;
  }
  if (out->size() > limit) {
    *error = path.string() + ": larger than " + std::to_string(limit) + " bytes";
    return false;
  }
  return true;
}

}  // namespace

bool ParseMachineDescription(std::string_view text, const std::vector<char16_t>& drives_with_files,
                             MachineDescription* out, std::string* error) {
  RawDescription raw;
  Fault fault{0, {}};
  if (ReadSections(text, &raw, &fault) && Build(raw, drives_with_files, out, &fault)) return true;
  *error = std::string(kMachineDescriptionFile) + ":" + std::to_string(fault.line) + ": " + fault.what;
  return false;
}

PortableMachine::PortableMachine(MachineDescription description, const stdfs::path& data_host, char16_t data_letter,
                                 Text data_folder)
    : description_(std::move(description)),
      data_folder_(std::move(data_folder)),
      fs_(host_, data_folder_, Text{data_letter, u':', u'\\'}, /*read_only_elsewhere=*/true),
      wow64_(description_.shell.windows64),
      system_(description_.facts),
      protection_(description_.protected_keys),
      folders_(description_.folders),
      shell_(fs_, description_.shell),
      links_(fs_, shell_),
      ini_(fs_),
      xml_(fs_),
      instance_(data_host.string()),
      notifier_([this](const CallbackNotifier::Message& m) {
        if (handler_) handler_(m);
      }),
      program_ini_(program_fs_) {
  host_.MapDrive(data_letter, data_host);
  RegistryStore::Options o;
  o.windows64 = description_.shell.windows64;
  o.file_system = &fs_;
  registry_ = std::make_unique<RegistryStore>(o);
}

void PortableMachine::SetUpHives(const std::map<char16_t, stdfs::path>& drive_folders) {
  MachineHivesSetup setup;
  setup.drive_folders = drive_folders;
  for (const auto& [letter, type] : description_.shell.drives)
    if (type == drive_type::kFixed) setup.fixed_drives.push_back(UpcaseUnit(letter));
  std::sort(setup.fixed_drives.begin(), setup.fixed_drives.end());
  setup.hivelist = description_.hives;
  const Text windows = description_.shell.windows_directory;
  setup.folders.system_dir = description_.facts.system_directory;
  setup.folders.system_dir_short = setup.folders.system_dir;
  setup.folders.windows_dir = windows;
  const auto local = description_.folders.special.find(0x1C);
  if (local != description_.folders.special.end()) setup.folders.local_app_data = local->second;
  setup.folders.profiles_dir =
      windows.substr(0, 2) + (description_.facts.major_version >= 6 ? u"\\Users" : u"\\Documents and Settings");
  setup.administrator = description_.facts.administrator;
  setup.windows64 = description_.shell.windows64;
  hives_ = std::make_unique<MachineHives>(std::move(setup), *registry_);
}

std::unique_ptr<PortableMachine> PortableMachine::Load(const Options& options, std::string* error) {
  std::error_code ec;
  const stdfs::path folder = stdfs::absolute(options.folder, ec);
  if (ec || !stdfs::is_directory(folder, ec)) {
    *error = options.folder.string() + ": no such machine folder";
    return nullptr;
  }
  if (!options.data_folder_of) {
    *error = "no data folder rule";
    return nullptr;
  }

  // The drive folders.
  std::map<char16_t, stdfs::path> drive_folders;
  for (stdfs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() != 7 || Lower(name.substr(0, 6)) != "drive_" || !it->is_directory(ec)) continue;
    const char c = name[6];
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      drive_folders[static_cast<char16_t>(c >= 'a' ? c - 'a' + 'A' : c)] = it->path();
    }
  }
  if (ec) {
    *error = folder.string() + ": cannot list the folder (" + ec.message() + ")";
    return nullptr;
  }
  std::vector<char16_t> letters;
  for (const auto& [letter, path] : drive_folders) letters.push_back(letter);

  MachineDescription description;
  std::string ini_text;
  const stdfs::path ini_path = folder / kMachineDescriptionFile;
  if (stdfs::exists(ini_path, ec) && !ReadHostFile(ini_path, kMaxMachineIniBytes, &ini_text, error)) return nullptr;
  if (!ParseMachineDescription(ini_text, letters, &description, error)) {
    *error = (folder / *error).string();
    return nullptr;
  }

  // The data folder: its Windows place, and a drive letter of its own that
  // no drive of the machine uses.
  HostShellFolders described(description.folders);
  const Text data_windows = options.data_folder_of(described);
  if (!IsDriveAbsolute(data_windows)) {
    *error = folder.string() + ": the machine has no application-data folder for the program's data";
    return nullptr;
  }
  char16_t data_letter = 0;
  for (char16_t c = u'Z'; c >= u'A' && !data_letter; --c)
    if (!drive_folders.count(c) && !description.shell.drives.count(c)) data_letter = c;
  if (!data_letter) {
    *error = folder.string() + ": every drive letter is taken; none is left for the data folder";
    return nullptr;
  }
  stdfs::create_directories(options.data_folder, ec);
  const stdfs::path data_host = stdfs::absolute(options.data_folder, ec);
  if (ec || !stdfs::is_directory(data_host, ec)) {
    *error = options.data_folder.string() + ": cannot create the data folder";
    return nullptr;
  }

  std::unique_ptr<PortableMachine> m(new PortableMachine(std::move(description), data_host, data_letter, data_windows));
  for (const auto& [letter, path] : drive_folders) m->host_.MapDrive(letter, path);
  m->SetUpHives(drive_folders);
  const stdfs::path tasks = folder / kMachineTasksFile;
  m->scheduler_ = options.tasks_state.empty() ? std::make_unique<FileTaskScheduler>(tasks)
                                              : std::make_unique<FileTaskScheduler>(options.tasks_state, tasks);
  if (!options.program_folder.empty()) m->program_fs_.MapDrive(u'C', stdfs::absolute(options.program_folder, ec));

  // The registry: registry.reg, then registry.d/*.reg in name order.
  std::vector<stdfs::path> reg_paths{folder / kMachineRegistryFile};
  const stdfs::path extra = folder / kMachineRegistryFolder;
  if (!options.registry_state.empty() && stdfs::exists(options.registry_state, ec)) {
    reg_paths = {options.registry_state};
  } else if (stdfs::is_directory(extra, ec)) {
    std::vector<stdfs::path> more;
    for (const auto& entry : stdfs::directory_iterator(extra, ec)) {
      if (entry.is_regular_file(ec) && entry.path().extension() == ".reg") more.push_back(entry.path());
    }
    std::sort(more.begin(), more.end());
    reg_paths.insert(reg_paths.end(), more.begin(), more.end());
  }
  const std::uint32_t view = m->description_.shell.windows64 ? kKeyWow64_64Key : 0;
  for (const stdfs::path& reg_path : reg_paths) {
    // Streamed into the store key by key: memory follows the registry, not the file.
    std::ifstream in(reg_path, std::ios::binary);
    if (!in) {
      *error = reg_path.string() + ": cannot read the file";
      return nullptr;
    }
    StreamRegTextSource source(in);
    RegTextError parse_error;
    WinError refused = err::kSuccess;
    std::size_t keys = 0;
    const bool ok = ParseRegTextStream(source, [&](RegTextKey&& key, RegTextError* e) {
      int line = 0;
      refused = ApplyRegTextKey(*m->registry_, key, view, &line);
      if (refused == err::kSuccess) {
        ++keys;
        return true;
      }
      e->line = line;
      e->message = "the registry refused the entry (error " + std::to_string(refused) + ")";
      return false;
    }, &parse_error);
    if (!ok) {
      *error = reg_path.string() + ":" + std::to_string(parse_error.line) + ": " + parse_error.message;
      return nullptr;
    }
    m->snapshot_keys_ += keys;
  }
  return m;
}

}  // namespace hs
