#include "engine/file_reference.h"

#include <algorithm>

#include "engine/category.h"
#include "engine/filter_lists.h"
#include "platform/caching_shell_paths.h"

namespace hs {

namespace {

constexpr std::size_t npos = Text::npos;

bool Contains(TextView text, TextView part) { return text.find(part) != TextView::npos; }

std::size_t Count(TextView text, char16_t c) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), c)); }

bool IsLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c >= 0xC0; }

Text ReplaceFirst(TextView text, TextView from, TextView to) {
  Text out(text);
  auto p = out.find(from);
  if (p != npos) out.replace(p, from.size(), to);
  return out;
}

Text TrimLeft(TextView t) {
  std::size_t b = 0;
  while (b < t.size() && (t[b] == u' ' || (t[b] >= 9 && t[b] <= 13))) ++b;
  return Text(t.substr(b));
}

constexpr const char16_t* kDeviceNames[] = {u"\\CON",  u"\\PRN",  u"\\AUX",  u"\\CLOCK$", u"\\NUL",  u"\\COM1",
                                            u"\\LPT1", u"\\LPT2", u"\\LPT3", u"\\COM2",   u"\\COM3", u"\\COM4"};

bool EndsWithDeviceName(TextView text) {
  if (text.size() < 5) return false;
  const Text upper = Upcase(text);
  for (const char16_t* d : kDeviceNames) {
    TextView dv(d);
    if (upper.size() >= dv.size() && TextView(upper).substr(upper.size() - dv.size()) == dv) return true;
  }
  return false;
}

constexpr const char16_t* kSafeFolderFragments[] = {
    u"outlook",
    u"microsoft office",
    u"common files\\crystal decisions",
    u"common files\\installshield",
    u"common files\\speechengines",
    u"common files\\adobe",
    u"common files\\system",
    u"common files\\microsoft",
    u"\\application data\\microsoft",
    u"microsoft.net",
    u"net\\framework",
    u"%windir%\\tracing",
    u"mcafee",
    u"symantec",
    u"navw32",
    u"navw64",
    u"msocache",
    u";",
    u"|",
    u"?",
    u"*",
    u"a:\\",
    u"b:\\",
    u"\\tracing",
    u"\\drm",
};

// Units that never occur in a Windows path, and those together with the
// wildcards, which never occur below a drive root either (the colon, which
// names streams, is in neither; "\\?\\" paths hold a question mark).
constexpr TextView kNeverInPaths{u"\"<>|\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f"
                                 u"\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f"};
constexpr TextView kInvalidNameUnits{u"\"<>|?*\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f"
                                     u"\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f"};

constexpr std::uint32_t kExpandCapacity = 2048;
constexpr std::size_t kLongPath = 1039;
constexpr std::size_t kMaxPath = 260;

}  // namespace

Text FileNamePart(TextView path) {
  auto p = path.rfind(u'\\');
  return p == TextView::npos ? Text(path) : Text(path.substr(p + 1));
}

Text FolderPart(TextView path) {
  auto p = path.rfind(u'\\');
  return p == TextView::npos ? Text() : Text(path.substr(0, p));
}

PathParts SplitPath(TextView path) {
  PathParts parts;
  TextView rest = path;
  if (rest.size() >= 2 && rest[1] == u':') {
    parts.drive = Text(rest.substr(0, 2));
    rest = rest.substr(2);
  }
  auto sep = rest.find_last_of(u"\\/");
  if (sep != TextView::npos) {
    parts.dir = Text(rest.substr(0, sep + 1));
    rest = rest.substr(sep + 1);
  }
  auto dot = rest.rfind(u'.');
  if (dot != TextView::npos) {
    parts.name = Text(rest.substr(0, dot));
    parts.ext = Text(rest.substr(dot));
  } else {
    parts.name = Text(rest);
  }
  return parts;
}

FileReferences::FileReferences(ShellPaths& shell, const RegEnv& reg, const SafeListCheck* safe_lists, Text system_folder,
                               Text system_folder32)
    : shell_(shell),
      reg_(reg),
      safe_lists_(safe_lists),
      system_folder_(std::move(system_folder)),
      system_folder32_(std::move(system_folder32)) {}

std::size_t FileReferences::cache_size() const {
  std::lock_guard<std::mutex> lock(mu_);
  return valid_.size();
}

std::size_t FileReferences::references_judged() const {
  std::lock_guard<std::mutex> lock(mu_);
  return valid_.size() + missing_this_scan_.size();
}

bool FileReferences::Cached(TextView text) const {
  std::lock_guard<std::mutex> lock(mu_);
  return valid_.count(Text(text)) != 0;
}

bool FileReferences::CacheValid(TextView text) {
  std::lock_guard<std::mutex> lock(mu_);
  valid_.insert(Text(text));
  return true;
}

std::shared_ptr<ShellPaths> FileReferences::Files() const {
  std::lock_guard<std::mutex> lock(mu_);
  if (scan_files_) return scan_files_;
  return std::shared_ptr<ShellPaths>(std::shared_ptr<ShellPaths>(), &shell_);
}

bool FileReferences::Exists(TextView path) {
  ++fs_calls_;
  return Files()->PathFileExists(path);
}

bool FileReferences::IsSystemProtected(TextView path) {
  ++fs_calls_;
  return shell_.IsFileProtected(path);
}

int FileReferences::FileAttributesOf(TextView path) {
  ++fs_calls_;
  switch (Files()->FileAttributes(path)) {
    case FileKind::kFile: return 1;
    case FileKind::kDirectory: return 0;
    default: return -1;
  }
}

bool FileReferences::IsDirectory(TextView path) { return FileAttributesOf(path) == 0; }

Text FileReferences::Expand(TextView text, std::uint32_t capacity, bool* ok) {
  Text out;
  ExpandResult r = shell_.ExpandEnvironmentStrings(text, capacity, &out);
  *ok = r.ok && r.needed < capacity;
  return *ok ? out : Text(text);
}

const std::vector<Text>& FileReferences::Drives() {
  std::lock_guard<std::mutex> lock(mu_);
  if (!drives_read_) {
    drives_ = shell_.LogicalDriveStrings();
    for (auto& d : drives_) d = Upcase(d);
    drives_read_ = true;
  }
  return drives_;
}

bool FileReferences::IsSafeFolderPath(TextView path) const {
  const Text lower = Lowercase(path);
  for (const char16_t* f : kSafeFolderFragments)
    if (Contains(lower, f)) return true;
  return false;
}

int FileReferences::FileReferenceExists(TextView path) {
  if (path.empty()) return 1;
  // A text holding a unit no path may hold names nothing: the file system is
  // not asked about it.
  if (path.find_first_of(kNeverInPaths) == TextView::npos && FileAttributesOf(path) == 1) return 1;
  const Text upper = Upcase(path);
  int result = 0;
  for (const Text& root : Drives()) {
    auto at = upper.find(root);
    if (at == npos) continue;
    result = -1;
    const Text s = upper.substr(at);
    // A prefix holding a unit that no Windows file name may hold (a quote, a
    // wildcard, a pipe, a control character) names nothing: only the
    // prefixes before the first such unit are asked about.
    const std::size_t first_invalid = s.find_first_of(kInvalidNameUnits, 3);
    const int attr = first_invalid == npos ? FileAttributesOf(s) : -1;
    if (attr == 1) return 1;
    if (attr == 0) return 0;
    // A file followed by arguments.
    for (std::size_t n = std::min(s.size(), first_invalid); n >= 1; --n) {
      const TextView prefix = TextView(s).substr(0, n);
      if (FileAttributesOf(prefix) == 1 && !EndsWithDeviceName(prefix)) return 1;
    }
    const auto dot = s.find(u'.');
    if (dot == npos) return 0;
    for (std::size_t i = 3; i < dot && i < s.size(); ++i) {
      const char16_t c = s[i];
      if (c < 32 || c == u'*' || c == u':' || c == u'<' || c == u'>' || c == u'?' || c == u'|') return 0;
    }
  }
  return result;
}

int FileReferences::FileExistsSwapped(TextView path, bool skip_system_folder_swap) {
  const Text lower = Lowercase(path);
  Text swapped;
  if (!skip_system_folder_swap && Contains(lower, u"\\syswow64\\")) {
    swapped = ReplaceFirst(lower, u"\\syswow64\\", u"\\system32\\");
  } else if (!skip_system_folder_swap && Contains(lower, u"\\system32\\")) {
    swapped = ReplaceFirst(lower, u"\\system32\\", u"\\syswow64\\");
  } else if (Contains(lower, u"\\program files (x86)\\")) {
    swapped = ReplaceFirst(lower, u"\\program files (x86)\\", u"\\program files\\");
  } else if (Contains(lower, u"\\program files\\")) {
    swapped = ReplaceFirst(lower, u"\\program files\\", u"\\program files (x86)\\");
  } else {
    return FileReferenceExists(lower);
  }
  const int r = FileReferenceExists(swapped);
  if (r == -1) return FileReferenceExists(lower);
  if (r == 0) return Exists(swapped) ? 1 : 0;
  return 1;
}

bool FileReferences::AppPathsLookup(Text* name) {
  Text n = *name;
  if (n.find(u'\\') != npos) {
    n = FileNamePart(n);
    if (n.empty()) return true;
  }
  const Text key = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + n;
  std::vector<RegView> views;
  if (reg_.windows64) views = {RegView::k32, RegView::k64};
  else views = {RegView::kDefault};
  RegEnv env = reg_;
  for (RegView view : views) {
    for (const char16_t* value : {u"", u"Path"}) {
      Text text;
      // The default-view read answers nothing on 64-bit Windows; on 32-bit
      // Windows it is the plain read.
      RegEnv plain{env.registry, view == RegView::kDefault ? false : env.windows64};
      if (!ReadStringValue(plain, kHkeyLocalMachine, key, value, view, &text) || text.empty()) continue;
      if (Exists(text) || IsSystemProtected(n)) {
        *name = text;
        return true;
      }
    }
  }
  return false;
}

Text FileReferences::CleanPathReference(TextView text) {
  Text t = Trim(text);
  while (!t.empty() && t.front() == u'"') t.erase(0, 1);
  if (!t.empty() && t.back() == u'"') t.pop_back();
  if (auto p = t.find(u" \""); p != npos) t.resize(p);
  for (const char16_t* ext : {u".exe", u".dll", u".ocx"}) {
    auto p = t.find(ext);
    if (p == npos) p = t.find(Upcase(ext));
    if (p != npos) {
      t.resize(p + 4);
      break;
    }
  }
  if (auto p = t.find(u" /"); p != npos) t.resize(p);
  if (auto c = t.find(u','); c != npos) {
    const Text lower = Lowercase(t);
    const PathParts parts = SplitPath(lower);
    if (parts.ext.size() > 1) {
      auto e = lower.find(parts.ext);
      if (e != npos) {
        if (e <= c) {
          t.resize(c);
        } else if (auto c2 = t.find(u',', e); c2 != npos) {
          t.resize(c2);
        }
      }
    }
  }
  const auto backslash = t.find(u'\\');
  const auto space = t.find(u' ');
  if (space != npos && (backslash == npos || space < backslash)) t = Trim(TextView(t).substr(0, space));
  if (Count(t, u'%') >= 2) {
    bool ok = false;
    Text expanded = Expand(t, kExpandCapacity, &ok);
    if (ok) t = expanded;
  }
  return t;
}

bool FileReferences::CheckRundll32Command(const CCategory& area, TextView text, const FileRefFlags& flags) {
  const Text t = Trim(text);
  if (t.size() < 11) return true;
  const Text head = Lowercase(Trim(TextView(t).substr(0, 9)));
  if (!Contains(head, u"rundll32")) return true;
  const Text lower = Lowercase(t);
  if (lower.find(u"rundll32") == 1 && t[0] != u'"') return true;
  bool ok = false;
  const std::uint32_t capacity =
      std::max<std::uint32_t>(kExpandCapacity, static_cast<std::uint32_t>(std::min<std::size_t>(t.size() * 8, kMaxShellTextChars)));
  const Text expanded = Expand(t, capacity, &ok);
  std::vector<Text> tails;
  for (Text tail = shell_.PathGetArgs(expanded); !tail.empty(); tail = shell_.PathGetArgs(tail)) {
    tails.push_back(tail);
    if (tails.size() > 256) break;
  }
  for (const Text& raw : tails) {
    Text tail = Lowercase(Trim(raw));
    if (Contains(tail, u"rundll32")) {
      tail = shell_.PathGetArgs(tail);
      if (tail.empty()) continue;
    }
    if (FileReferenceValid(area, tail, flags)) continue;
    const auto comma = expanded.find(u',');
    if (comma == npos) return false;
    const auto space = expanded.find(u' ', comma + 1);
    if (space == npos) return false;
    auto end = expanded.find(u',', comma + 1);
    if (end == npos || end < space) end = expanded.find(u'-', space);
    if (end == npos || end < space) return false;
    return Exists(Trim(TextView(expanded).substr(space, end - space)));
  }
  return true;
}

void FileReferences::BeginScan() {
  auto files = std::make_shared<CachingShellPaths>(shell_);
  std::lock_guard<std::mutex> lock(mu_);
  missing_this_scan_.clear();
  scan_files_ = std::move(files);
}

void FileReferences::EndScan() {
  std::shared_ptr<ShellPaths> done;
  std::lock_guard<std::mutex> lock(mu_);
  done.swap(scan_files_);
}

bool FileReferences::FileReferenceValid(const CCategory& area, TextView text, const FileRefFlags& flags) {
  Text key(text);
  key.push_back(u'\0');
  for (bool f : {flags.use_safe_path_list, flags.use_safe_folders, flags.swap_only_for_program_files,
                 flags.skip_system_folder_swap, flags.is_command_line, flags.check_network_paths})
    key.push_back(f ? u'1' : u'0');
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (missing_this_scan_.count(key)) return area.IsCancelled();
  }
  if (Judge(area, text, flags)) return true;
  if (!area.IsCancelled()) {
    std::lock_guard<std::mutex> lock(mu_);
    missing_this_scan_.insert(std::move(key));
  }
  return false;
}

bool FileReferences::Judge(const CCategory& area, TextView text, const FileRefFlags& flags) {
  auto cancelled = [&] { return area.IsCancelled(); };
  // 1.
  if (text.size() < 4 || text.substr(0, 2) == u".\\") return true;
  if (cancelled()) return true;
  if (Cached(text)) return true;
  // 2.
  Text L = Lowercase(Trim(text));
  if (L.size() < 4 || Exists(L)) return CacheValid(text);
  // 3. Side-by-side assembly identities.
  int identity = 0;
  for (const char16_t* k : {u"type=", u"version=", u"token=", u"architecture="})
    if (Contains(L, k)) ++identity;
  if (identity >= 2) {
    if (shell_.PathIsFileSpec(L) || !IsLetter(L[0]) || identity >= 3) return CacheValid(text);
    if (Count(L, u'.') > 4) return CacheValid(text);
  }
  // 4. rundll32 commands.
  if (cancelled()) return true;
  const auto rundll = L.find(u"rundll32");
  if (rundll == 0 || (rundll == 1 && L[0] == u'"')) {
    if (CheckRundll32Command(area, text, flags)) return CacheValid(text);
    return false;
  }
  // 5. URLs.
  const auto scheme_end = L.find(u"://");
  if (scheme_end != npos && scheme_end >= 3 && scheme_end <= 6) {
    const Text scheme = Lowercase(text.substr(0, std::min(scheme_end, text.size())));
    if (scheme != u"res" && scheme != u"file") return CacheValid(text);
    L = L.substr(scheme_end + 3);
    while (!L.empty() && L.front() == u'/') L.erase(0, 1);
    std::replace(L.begin(), L.end(), u'/', u'\\');
  }
  // 6.
  if (Contains(L, u";")) return CacheValid(text);
  if (cancelled()) return true;
  // 7. Wildcards.
  if (auto star = L.find(u'*'); star != npos) {
    if (L.size() >= 2 && (L.ends_with(u"\\*") || L.ends_with(u"/*"))) L.pop_back();
    if (L.find(u'\\', star + 1) != npos || L.find(u'*', star + 1) != npos || Contains(L, u"?") ||
        Contains(L, u"\\*\\"))
      return CacheValid(text);
  }
  // 8. Indirect resource strings.
  if (cancelled()) return true;
  if (L.size() >= 2 && L[0] == u'@' && (L[1] == u'%' || IsLetter(L[1]))) L.erase(0, 1);
  // 9.
  if (!flags.check_network_paths) {
    if (cancelled()) return true;
    if (Files()->PathIsNetworkPath(L)) return CacheValid(text);
  }
  // 10.
  if (cancelled()) return true;
  if (flags.use_safe_folders && IsSafeFolderPath(L)) return CacheValid(text);
  // 11. / 12.
  if (flags.is_command_line) {
    Text T = L;
    for (int guard = 0; guard < 1024; ++guard) {
      if (cancelled()) return true;
      T = shell_.PathGetArgs(T);
      if (T.empty()) break;
      if (FileReferenceExists(T) >= 0) continue;
      const auto exe = Lowercase(T).find(u".exe");
      if (exe != npos && exe > 0) {
        if (IsSystemProtected(T)) continue;
        return false;
      }
      if (Contains(T, u" ")) continue;
      if (IsSystemProtected(T)) continue;
      return false;
    }
    if (cancelled()) return true;
    auto q = L.find(u'"');
    bool tested = true;
    if (q == 0) {
      const auto second = L.find(u'"', 1);
      if (second != npos) {
        const auto third = L.find(u'"', second + 1);
        if (third == npos) tested = false;
        else q = third;
      }
    }
    if (tested && q != npos) {
      const auto close = L.find(u'"', q + 1);
      if (close != npos) {
        const Text inner = L.substr(q + 1, close - q - 1);
        if (FileReferenceExists(inner) >= 0) return true;
        if (IsSystemProtected(inner)) return CacheValid(text);
        return false;
      }
    }
  } else {
    for (const char16_t* ext : {u".exe", u".dll", u".ocx", u".ax", u".sys"}) {
      const auto p = L.find(ext);
      if (p == npos || p == 0) continue;
      std::size_t end = p + TextView(ext).size();
      if (end >= L.size()) continue;
      // A closing quote right after the extension stays, so that a quoted
      // program with arguments is tested by its path (step 13 then
      // replaces the quotes) instead of passing as an unmatched quote.
      if (L[end] == u'"') ++end;
      L.resize(end);
      break;
    }
  }
  // 13.
  if (!L.empty() && L[0] == u'"' && L.find(u'"', 1) == npos) return CacheValid(text);
  std::replace(L.begin(), L.end(), u'"', u' ');
  L = Trim(L);
  if (cancelled()) return true;
  // 14.
  if (flags.use_safe_path_list && safe_lists_ && safe_lists_->IsSafePath(L)) return CacheValid(text);
  if (cancelled()) return true;
  // 15.
  if (Count(L, u'%') >= 2) {
    bool ok = false;
    Text expanded = Expand(L, kExpandCapacity, &ok);
    if (ok) L = Lowercase(expanded);
  }
  // 16.
  if (L.starts_with(u"rundll32")) {
    if (auto space = L.find(u' ', 7); space != npos) {
      L = TrimLeft(TextView(L).substr(space));
      if (auto comma = L.find(u','); comma != npos) L.resize(comma);
      if (Exists(L)) return CacheValid(text);
    }
  }
  // 17.
  if (cancelled()) return true;
  L = Lowercase(L);
  // 18.
  if (L.size() > kLongPath) {
    if (Count(L, u'\\') < 2 || Files()->PathIsNetworkPath(L)) return CacheValid(text);
    if (FileReferenceExists(L) >= 0) return CacheValid(text);
    return false;
  }
  // 19.
  if (L.size() > kMaxPath) return CacheValid(text);
  if (cancelled()) return true;
  const PathParts parts = SplitPath(L);
  // 20. Absolute paths.
  if (Contains(L, u":\\")) {
    if (!parts.drive.empty() && skip_removable_media_) {
      const std::uint32_t type = Files()->DriveType(parts.drive + u"\\");
      if (type != drive_type::kFixed && type != drive_type::kNoRootDir) return CacheValid(text);
    }
    if (Exists(L)) return CacheValid(text);
    if (cancelled()) return true;
    Text found = L;
    ++fs_calls_;
    if (shell_.PathFindOnPath(&found)) return CacheValid(text);
    int r;
    if (reg_.windows64 && !(flags.swap_only_for_program_files && !Contains(L, u"program files")))
      r = FileExistsSwapped(L, flags.skip_system_folder_swap);
    else
      r = FileReferenceExists(L);
    if (cancelled()) return true;
    if (r == -1) {
      if (IsSystemProtected(L)) return CacheValid(text);
      return false;
    }
    if (r != 0) return CacheValid(text);
    if (L.find(u'.') == npos) {
      if (Exists(L) || Exists(L + u".exe") || Contains(L, u"\\system32")) return CacheValid(text);
    }
    if (cancelled()) return true;
    return Exists(L) || IsSystemProtected(L);
  }
  // 21. Relative paths.
  if (cancelled()) return true;
  {
    Text found = L;
    ++fs_calls_;
    if (shell_.PathFindOnPath(&found)) return Exists(found) || IsSystemProtected(found);
  }
  if (cancelled()) return true;
  {
    Text found;
    ++fs_calls_;
    if (shell_.SearchPath(parts.name + parts.ext, &found)) return CacheValid(text);
  }
  const bool program_like =
      (Contains(L, u".dll") || Contains(L, u".ocx") || Contains(L, u".exe") || Contains(L, u".ax")) && !Contains(L, u":");
  if (program_like) {
    const std::size_t backslashes = Count(L, u'\\');
    if (backslashes >= 2) return CacheValid(text);
    if (backslashes == 1) L = L.substr(L.find(u'\\') + 1);
    if (Contains(L, u"/")) {
      if (cancelled()) return true;
      Text full;
      ++fs_calls_;
      if (shell_.PathSearchAndQualify(L, &full)) return FileReferenceExists(full) >= 0 || IsSystemProtected(full);
    }
    if (!parts.ext.empty()) {
      Text ext = parts.ext;
      if (auto sp = ext.find(u' '); sp != npos) ext.resize(sp);
      if (auto p = L.find(ext); p != npos && !ext.empty()) L.resize(p + ext.size());
    }
    L = Trim(L);
    if (cancelled()) return true;
    Text app = L;
    if (AppPathsLookup(&app)) return CacheValid(text);
    Text S = system_folder_ + L;
    if (!Exists(S)) {
      if (reg_.windows64 && !system_folder32_.empty()) {
        S = system_folder32_ + u"\\" + L;
        if (Exists(S) || IsSystemProtected(S)) return CacheValid(text);
      }
      Text found = L;
      ++fs_calls_;
      if (shell_.PathFindOnPath(&found)) return Exists(found) || IsSystemProtected(found);
      return Exists(S) || IsSystemProtected(S);
    }
  }
  // k.
  if (cancelled()) return true;
  if (!flags.check_network_paths || !Files()->PathIsNetworkPath(L)) return CacheValid(text);
  return Exists(L) || IsSystemProtected(L);
}

}  // namespace hs
