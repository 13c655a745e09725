#include "platform/portable/portable_shell_paths.h"

#include <algorithm>
#include <array>

#include "platform/portable/portable_wow64.h"

namespace hs {

namespace {

bool IsSep(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// "X:\..." (either separator).
bool IsDriveAbsolute(TextView p) { return p.size() >= 3 && IsLetter(p[0]) && p[1] == u':' && IsSep(p[2]); }

bool Usable(TextView path) { return path.find(u'\0') == TextView::npos && path.size() <= kMaxShellTextChars; }

// Without trailing separators, except for a drive root ("C:\").
Text TrimTrailingSeparators(TextView dir) {
  Text t(dir);
  while (t.size() > 3 && IsSep(t.back())) t.pop_back();
  if (t.size() == 2 && t[1] == u':') t += u'\\';
  return t;
}

// Folder + "\" + name, without doubling a separator the folder ends with.
Text Join(TextView dir, TextView name) {
  Text t(dir);
  if (!t.empty() && !IsSep(t.back())) t += u'\\';
  t += name;
  return t;
}

bool IsDeviceName(TextView name) {
  // The base name before any extension, trailing spaces ignored.
  const std::size_t dot = name.find(u'.');
  if (dot != TextView::npos) name = name.substr(0, dot);
  while (!name.empty() && name.back() == u' ') name.remove_suffix(1);
  static constexpr std::array<std::u16string_view, 4> kPlain = {u"CON", u"PRN", u"AUX", u"NUL"};
  for (auto d : kPlain)
    if (EqualsNoCase(name, d)) return true;
  if (name.size() == 4 && (StartsWithNoCase(name, u"COM") || StartsWithNoCase(name, u"LPT")))
    return name[3] >= u'1' && name[3] <= u'9';
  return false;
}

// Folders below System32 that redirection leaves alone.
constexpr std::array<std::u16string_view, 6> kNotRedirected = {
    u"catroot", u"catroot2", u"driverstore", u"drivers\\etc", u"logfiles", u"spool"};

// True when `rest` is `folder` or lies below it (no case).
bool IsUnder(TextView rest, TextView folder) {
  return StartsWithNoCase(rest, folder) && (rest.size() == folder.size() || rest[folder.size()] == u'\\');
}

}  // namespace

PortableShellPaths::PortableShellPaths(FileSystem& fs, ShellMachine machine) : fs_(fs), m_(std::move(machine)) {
  std::map<char16_t, std::uint32_t> drives;
  for (const auto& [letter, type] : m_.drives) {
    const char16_t up = UpcaseUnit(letter);
    if (up >= u'A' && up <= u'Z' && type != drive_type::kNoRootDir) drives[up] = type;
  }
  m_.drives = std::move(drives);

  // The current folder first: the other folders resolve against it.
  m_.current_directory = TrimTrailingSeparators(m_.current_directory);
  Text cwd;
  m_.current_directory =
      IsDriveAbsolute(m_.current_directory) && FullPathName(m_.current_directory, &cwd) ? TrimTrailingSeparators(cwd) : Text();
  auto resolve = [this](Text* dir) {
    Text full;
    if (!dir->empty() && FullPathName(*dir, &full)) *dir = TrimTrailingSeparators(full);
  };
  resolve(&m_.windows_directory);
  resolve(&m_.system_directory);
  resolve(&m_.program_directory);
  for (Text& f : m_.protected_files) resolve(&f);

  std::vector<Text> path;
  for (const Text& dir : m_.search_path)
    if (!dir.empty()) path.push_back(dir);
  m_.search_path = std::move(path);
  for (const Text& dir : m_.search_path) {
    if (!path_variable_.empty()) path_variable_ += u';';
    path_variable_ += dir;
  }
}

bool PortableShellPaths::FullPathName(TextView path, Text* out) const {
  out->clear();
  if (path.empty() || !Usable(path)) return false;
  Text p(path);
  std::replace(p.begin(), p.end(), u'/', u'\\');
  if (p.rfind(u"\\\\?\\", 0) == 0) {
    *out = std::move(p);
    return true;
  }

  Text root;
  TextView rest;
  if (p.size() >= 2 && p[0] == u'\\' && p[1] == u'\\') {
    // UNC ("\\server\share") or device ("\\.\C:") root: its first one or two
    // names stay, ".." never climbs above them.
    const bool device = p.size() >= 3 && p[2] == u'.' && (p.size() == 3 || p[3] == u'\\');
    std::size_t end = p.find(u'\\', 2);
    if (!device && end != Text::npos) end = p.find(u'\\', end + 1);
    if (device) end = end == Text::npos ? Text::npos : p.find(u'\\', end + 1);
    root = p.substr(0, end);
    rest = end == Text::npos ? TextView() : TextView(p).substr(end + 1);
  } else if (p.size() >= 2 && IsLetter(p[0]) && p[1] == u':') {
    if (p.size() == 2 || p[2] != u'\\') {
      // Drive-relative: against the current folder when it is on that drive.
      const Text& cwd = m_.current_directory;
      const Text base = !cwd.empty() && UpcaseUnit(cwd[0]) == UpcaseUnit(p[0]) && cwd[1] == u':'
                            ? cwd
                            : Text{UpcaseUnit(p[0]), u':', u'\\'};
      return FullPathName(p.size() == 2 ? base : Join(base, TextView(p).substr(2)), out);
    }
    root = p.substr(0, 2);
    root[0] = UpcaseUnit(root[0]);
    rest = TextView(p).substr(3);
  } else {
    const Text& cwd = m_.current_directory;
    if (cwd.empty()) return false;
    if (p[0] == u'\\') {
      // Rooted: on the current folder's drive.
      return FullPathName(Text(TextView(cwd).substr(0, 2)) + p, out);
    }
    return FullPathName(Join(cwd, p), out);
  }

  const bool trailing_sep = p.size() > root.size() && p.back() == u'\\';
  std::vector<TextView> names;
  for (std::size_t start = 0; start <= rest.size();) {
    std::size_t end = rest.find(u'\\', start);
    if (end == TextView::npos) end = rest.size();
    TextView name = rest.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == u".") continue;
    if (name == u"..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    // A name ending in one dot loses it ("a." is "a"); "..." stays.
    if (name.back() == u'.' && !IsBlankName(name)) name.remove_suffix(1);
    names.push_back(name);
  }
  bool ends_with_sep = trailing_sep;
  if (!trailing_sep && !names.empty()) {
    TextView& last = names.back();
    while (!last.empty() && (last.back() == u'.' || last.back() == u' ')) last.remove_suffix(1);
    if (last.empty()) {
      names.pop_back();
      ends_with_sep = true;
    }
  }

  Text full = root;
  for (TextView name : names) {
    full += u'\\';
    full += name;
  }
  // A drive root keeps its separator; so does a path written with one.
  if ((names.empty() && root.size() == 2) || ends_with_sep) full += u'\\';
  *out = std::move(full);
  return true;
}

Text PortableShellPaths::Redirect(const Text& full) const {
  if (!m_.windows64 || PortableWow64::RedirectionDisabled()) return full;
  const Text& win = m_.windows_directory;
  if (win.empty() || !IsUnder(full, win) || full.size() <= win.size() + 1) return full;
  const TextView rest = TextView(full).substr(win.size() + 1);
  const std::size_t sep = rest.find(u'\\');
  const TextView first = rest.substr(0, sep);
  const TextView below = sep == TextView::npos ? TextView() : rest.substr(sep + 1);
  const TextView tail = sep == TextView::npos ? TextView() : rest.substr(sep);  // with its '\'

  if (EqualsNoCase(first, u"System32")) {
    for (auto folder : kNotRedirected)
      if (IsUnder(below, folder)) return full;
    return win + u"\\SysWOW64" + Text(tail);
  }
  if (EqualsNoCase(first, u"Sysnative")) return win + u"\\System32" + Text(tail);
  if (EqualsNoCase(first, u"regedit.exe") && below.empty()) return win + u"\\SysWOW64\\regedit.exe";
  if (EqualsNoCase(first, u"lastgood") && IsUnder(below, u"System32"))
    return win + u"\\lastgood\\SysWOW64" + Text(below.substr(8));
  return full;
}

FileKind PortableShellPaths::Lookup(TextView path) const {
  if (path.empty() || !Usable(path)) return FileKind::kMissing;
  Text full;
  if (path.rfind(u"\\\\?\\", 0) == 0) {
    // Taken as written: names the host would trim do not exist.
    full = Text(path.substr(4));
    if (full.find(u'/') != Text::npos) return FileKind::kMissing;
    for (std::size_t i = 0; i < full.size(); ++i) {
      const bool name_end = i + 1 == full.size() || IsSep(full[i + 1]);
      if (name_end && (full[i] == u'.' || full[i] == u' ')) return FileKind::kMissing;
    }
  } else {
    if (!FullPathName(path, &full)) return FileKind::kMissing;
    if (full.rfind(u"\\\\.\\", 0) == 0) full.erase(0, 4);
  }
  if (!IsDriveAbsolute(full) || !m_.drives.count(UpcaseUnit(full[0]))) return FileKind::kMissing;

  const bool folder_only = full.size() > 3 && IsSep(full.back());
  const Text target = Redirect(full);
  const std::size_t last_sep = target.find_last_of(u"\\/", target.size() - (folder_only ? 2 : 1));
  const TextView last_name = TextView(target).substr(last_sep + 1);
  if (!folder_only && last_sep != Text::npos && IsDeviceName(last_name)) {
    const Text parent = TrimTrailingSeparators(TextView(target).substr(0, last_sep + 1));
    return fs_.IsDirectory(parent) ? FileKind::kFile : FileKind::kMissing;
  }
  FileInfo info;
  const WinError e = fs_.GetFileInfo(target, &info);
  if (e == err::kSuccess) {
    if (info.is_directory) return FileKind::kDirectory;
    return folder_only ? FileKind::kMissing : FileKind::kFile;
  }
  if (e != err::kCallNotImplemented) return FileKind::kMissing;
  if (fs_.IsDirectory(target)) return FileKind::kDirectory;
  if (!folder_only && fs_.Exists(target)) return FileKind::kFile;
  return FileKind::kMissing;
}

FileKind PortableShellPaths::FileAttributes(TextView path) { return Lookup(path); }

bool PortableShellPaths::ListFolder(TextView folder, std::vector<FolderEntry>* out) {
  out->clear();
  if (folder.empty() || !Usable(folder) || folder.rfind(u"\\\\?\\", 0) == 0) return false;
  Text full;
  if (!FullPathName(folder, &full)) return false;
  if (full.rfind(u"\\\\.\\", 0) == 0) full.erase(0, 4);
  if (!IsDriveAbsolute(full) || !m_.drives.count(UpcaseUnit(full[0]))) return false;
  std::vector<DirEntry> entries;
  if (fs_.ListDirectory(Redirect(TrimTrailingSeparators(full)), &entries) != err::kSuccess) return false;
  out->reserve(entries.size());
  for (DirEntry& e : entries)
    out->push_back(FolderEntry{std::move(e.name), e.is_directory ? FileKind::kDirectory : FileKind::kFile});
  return true;
}

bool PortableShellPaths::PathFileExists(TextView path) { return Lookup(path) != FileKind::kMissing; }

std::vector<Text> PortableShellPaths::LogicalDriveStrings() {
  std::vector<Text> roots;
  for (const auto& [letter, type] : m_.drives) roots.push_back(Text{letter, u':', u'\\'});
  return roots;
}

std::uint32_t PortableShellPaths::DriveType(TextView root) {
  // Only a drive root names a volume ("C:\", or "C:" which Windows completes).
  const bool is_root = (root.size() == 2 || (root.size() == 3 && IsSep(root[2]))) && IsLetter(root[0]) && root[1] == u':';
  if (!is_root) return drive_type::kNoRootDir;
  const auto it = m_.drives.find(UpcaseUnit(root[0]));
  return it == m_.drives.end() ? drive_type::kNoRootDir : it->second;
}

const Text* PortableShellPaths::Variable(TextView name) const {
  if (name.empty()) return nullptr;
  if (EqualsNoCase(name, u"PATH")) return path_variable_.empty() ? nullptr : &path_variable_;
  for (const auto& [n, value] : m_.environment)
    if (EqualsNoCase(n, name)) return &value;
  return nullptr;
}

ExpandResult PortableShellPaths::ExpandEnvironmentStrings(TextView text, std::uint32_t capacity, Text* out) {
  out->clear();
  text = UpToNul(text);
  if (text.size() > kMaxShellTextChars) return {};
  Text result;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != u'%') {
      const std::size_t next = std::min(text.find(u'%', i), text.size());
      result.append(text.substr(i, next - i));
      i = next;
    } else {
      const std::size_t close = text.find(u'%', i + 1);
      if (close == TextView::npos) {
        // No partner: the rest stays as written.
        result.append(text.substr(i));
        i = text.size();
      } else if (const Text* value = Variable(text.substr(i + 1, close - i - 1))) {
        result += *value;
        i = close + 1;
      } else {
        // Unknown (or empty) name: "%NAME%" stays, scanning goes on after it.
        result.append(text.substr(i, close + 1 - i));
        i = close + 1;
      }
    }
    if (result.size() >= kMaxShellTextChars) return {};
  }
  const auto needed = static_cast<std::uint32_t>(result.size() + 1);
  if (needed > capacity) return {false, needed};
  *out = std::move(result);
  return {true, needed};
}

std::vector<Text> PortableShellPaths::SearchFolders(bool with_program_and_current) const {
  std::vector<Text> dirs;
  if (with_program_and_current) dirs = {m_.program_directory, m_.current_directory};
  dirs.push_back(m_.system_directory);
  if (!m_.windows_directory.empty()) dirs.push_back(Join(m_.windows_directory, u"System"));
  dirs.push_back(m_.windows_directory);
  dirs.insert(dirs.end(), m_.search_path.begin(), m_.search_path.end());
  dirs.erase(std::remove_if(dirs.begin(), dirs.end(), [](const Text& d) { return d.empty(); }), dirs.end());
  return dirs;
}

bool PortableShellPaths::PathFindOnPath(Text* name) {
  if (name->find(u'\0') != Text::npos || name->size() >= kMaxPathChars || IsBlankName(*name) ||
      !PathIsFileSpec(*name))
    return false;
  for (const Text& dir : SearchFolders(false)) {
    Text candidate = Join(dir, *name);
    if (candidate.size() >= kMaxPathChars) continue;
    if (Lookup(candidate) != FileKind::kMissing) {
      *name = std::move(candidate);
      return true;
    }
  }
  return false;
}

bool PortableShellPaths::SearchPath(TextView name, Text* found) {
  found->clear();
  if (!Usable(name) || IsBlankName(name)) return false;
  // A name with a drive, a leading separator or a leading ".\" or "..\" is
  // looked up where it points.
  const bool has_location = IsSep(name[0]) || (name.size() >= 2 && name[1] == u':') ||
                            (name.size() >= 2 && name[0] == u'.' && IsSep(name[1])) ||
                            (name.size() >= 3 && name[0] == u'.' && name[1] == u'.' && IsSep(name[2]));
  Text full;
  if (has_location) {
    if (!FullPathName(name, &full) || Lookup(full) == FileKind::kMissing) return false;
    *found = std::move(full);
    return true;
  }
  for (const Text& dir : SearchFolders(true)) {
    if (FullPathName(Join(dir, name), &full) && Lookup(full) != FileKind::kMissing) {
      *found = std::move(full);
      return true;
    }
  }
  return false;
}

bool PortableShellPaths::PathSearchAndQualify(TextView path, Text* out) {
  out->clear();
  if (path.empty() || !Usable(path)) return false;
  Text result;
  if (!SearchPath(path, &result) && !FullPathName(path, &result)) return false;
  if (result.size() >= kMaxPathChars) return false;
  *out = std::move(result);
  return true;
}

Text PortableShellPaths::PathGetArgs(TextView text) {
  text = UpToNul(text);
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u' ' && !quoted) return Text(text.substr(i + 1));
    if (text[i] == u'"') quoted = !quoted;
  }
  return Text();
}

bool PortableShellPaths::PathIsNetworkPath(TextView path) {
  path = UpToNul(path);
  if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') return true;
  if (path.size() < 2 || !IsLetter(path[0]) || path[1] != u':') return false;
  const auto it = m_.drives.find(UpcaseUnit(path[0]));
  return it != m_.drives.end() && it->second == drive_type::kRemote;
}

bool PortableShellPaths::PathIsFileSpec(TextView path) {
  path = UpToNul(path);
  return path.find_first_of(u"\\:") == TextView::npos;
}

bool PortableShellPaths::IsFileProtected(TextView path) {
  if (!Usable(path) || !IsDriveAbsolute(path)) return false;
  Text full;
  if (!FullPathName(path, &full)) return false;
  return std::any_of(m_.protected_files.begin(), m_.protected_files.end(),
                     [&](const Text& f) { return EqualsNoCase(f, full); });
}

}  // namespace hs
