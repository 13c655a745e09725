#include "platform/caching_shell_paths.h"

#include <algorithm>

namespace hs {

namespace {

// Bounds on memory, not on answers: past them the remembered answers start
// afresh.
constexpr std::size_t kMaxAnswers = 1u << 20;
constexpr std::size_t kMaxFolders = 1u << 18;

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool IsDeviceName(TextView name) {
  const std::size_t dot = name.find(u'.');
  if (dot != TextView::npos) name = name.substr(0, dot);
  if (name.size() < 3 || name.size() > 7) return false;
  for (TextView d : {u"CON", u"PRN", u"AUX", u"NUL", u"CLOCK$", u"CONIN$", u"CONOUT$"})
    if (EqualsNoCase(name, d)) return true;
  return name.size() == 4 && (StartsWithNoCase(name, u"COM") || StartsWithNoCase(name, u"LPT")) &&
         name[3] >= u'0' && name[3] <= u'9';
}

// A name the cache can match by text: none of the units no name may hold,
// no trailing dot or space (the adapters trim those), not a device.
bool PlainName(TextView name) {
  if (name.empty() || name.back() == u'.' || name.back() == u' ') return false;
  for (char16_t c : name)
    if (c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' || c == u'*' ||
        c == u'/')
      return false;
  return !IsDeviceName(name);
}

// Names redirection moves: never answered from their folder's listing or
// state, and nothing below System32 or Sysnative is inferred.
bool Moved(TextView name) {
  if (name.size() != 8 && name.size() != 9 && name.size() != 11) return false;
  return EqualsNoCase(name, u"System32") || EqualsNoCase(name, u"Sysnative") || EqualsNoCase(name, u"regedit.exe");
}

void AppendUpper(Text* out, TextView name) {
  for (char16_t c : name) out->push_back(UpcaseUnit(c));
}

}  // namespace

struct CachingShellPaths::Parsed {
  Text drive;  // "C:"
  std::vector<TextView> names;
  bool folder_only = false;  // written with a trailing separator
};

namespace {

// "X:\a\b" (one trailing separator allowed) with "." and ".." resolved;
// false for anything else.
bool Parse(TextView path, CachingShellPaths::Parsed* out) {
  if (path.size() < 4 || path.size() > kMaxShellTextChars || !IsLetter(path[0]) || path[1] != u':' ||
      path[2] != u'\\')
    return false;
  out->drive = Text{UpcaseUnit(path[0]), u':'};
  out->names.clear();
  out->folder_only = path.back() == u'\\';
  if (out->folder_only) path.remove_suffix(1);
  for (std::size_t start = 3; start <= path.size();) {
    std::size_t end = path.find(u'\\', start);
    if (end == TextView::npos) end = path.size();
    TextView name = path.substr(start, end - start);
    start = end + 1;
    // The system drops the dots and spaces that end a path ("app." is
    // "app"); a name inside the path keeps them and is not taken apart.
    if (end == path.size() && !out->folder_only && name != u"." && name != u"..")
      while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.remove_suffix(1);
    if (name == u".") continue;
    if (name == u"..") {
      if (!out->names.empty()) out->names.pop_back();
      continue;
    }
    if (!PlainName(name)) return false;
    out->names.push_back(name);
  }
  return !out->names.empty();
}

// Exact name first, else the first in code-point order (the portable
// adapter's choice among names that differ only in case).
const ShellPaths::FolderEntry* Pick(const std::vector<ShellPaths::FolderEntry>& same, TextView name) {
  const ShellPaths::FolderEntry* best = nullptr;
  for (const auto& e : same) {
    if (e.name == name) return &e;
    if (!best || ToUtf8(e.name) < ToUtf8(best->name)) best = &e;
  }
  return best;
}

FileKind KindOfEntry(const ShellPaths::FolderEntry* e) { return e ? e->kind : FileKind::kMissing; }

}  // namespace

CachingShellPaths::CachingShellPaths(ShellPaths& inner)
    : inner_(inner),
      listing_cost_(std::max<std::uint32_t>(inner.ListingCost(), 1)),
      owner_(std::this_thread::get_id()), parsed_(std::make_unique<Parsed>()) {
  std::fill(std::begin(network_drive_), std::end(network_drive_), static_cast<signed char>(-1));
}

CachingShellPaths::~CachingShellPaths() = default;

bool CachingShellPaths::PathIsNetworkPath(TextView path) {
  // A path starting with a drive letter is a network path when its drive
  // is; anything else (UNC, "\\?\", relative) is asked as written.
  if (path.size() < 2 || path[1] != u':' || !IsLetter(path[0])) return inner_.PathIsNetworkPath(path);
  const int drive = UpcaseUnit(path[0]) - u'A';
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (network_drive_[drive] >= 0) return network_drive_[drive] != 0;
  }
  const bool network = inner_.PathIsNetworkPath(path);
  std::lock_guard<std::mutex> lock(mu_);
  network_drive_[drive] = network ? 1 : 0;
  return network;
}

std::uint32_t CachingShellPaths::DriveType(TextView root) {
  constexpr std::size_t kMaxRoots = 64;
  const Text key = Upcase(root);
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (auto it = drive_types_.find(key); it != drive_types_.end()) return it->second;
  }
  const std::uint32_t type = inner_.DriveType(root);
  std::lock_guard<std::mutex> lock(mu_);
  if (drive_types_.size() < kMaxRoots) drive_types_.emplace(key, type);
  return type;
}

std::size_t CachingShellPaths::remembered() const {
  std::lock_guard<std::mutex> lock(mu_);
  return answers_.size() + folders_.size();
}

FileKind CachingShellPaths::FileAttributes(TextView path) {
  if (std::this_thread::get_id() != owner_) return inner_.FileAttributes(path);
  return Kind(path);
}

bool CachingShellPaths::PathFileExists(TextView path) {
  if (std::this_thread::get_id() != owner_) return inner_.PathFileExists(path);
  std::lock_guard<std::mutex> lock(mu_);
  if (Parse(path, parsed_.get())) return KindLocked() != FileKind::kMissing;
  Text key = u"\x01" + Text(path);
  if (auto it = answers_.find(key); it != answers_.end()) return it->second != FileKind::kMissing;
  const bool exists = inner_.PathFileExists(path);
  if (answers_.size() >= kMaxAnswers) answers_.clear();
  answers_.emplace(std::move(key), exists ? FileKind::kFile : FileKind::kMissing);
  return exists;
}

FileKind CachingShellPaths::Kind(TextView path) {
  std::lock_guard<std::mutex> lock(mu_);
  if (Parse(path, parsed_.get())) return KindLocked();
  if (answers_.size() >= kMaxAnswers) answers_.clear();
  {
    Text key = Text(1, u'\0') + Text(path);
    if (auto it = answers_.find(key); it != answers_.end()) return it->second;
    const FileKind k = inner_.FileAttributes(path);
    answers_.emplace(std::move(key), k);
    return k;
  }
}

FileKind CachingShellPaths::KindLocked() {
  if (answers_.size() >= kMaxAnswers) answers_.clear();
  if (folders_.size() >= kMaxFolders) folders_.clear();
  const Parsed& p = *parsed_;
  const FileKind k = KindOf(p.drive, p.names, p.names.size());
  if (p.folder_only) return k == FileKind::kDirectory ? k : FileKind::kMissing;
  return k;
}

FileKind CachingShellPaths::KindOf(const Text& drive, const std::vector<TextView>& names, std::size_t n) {
  // Most paths lie in a folder looked at before: answer from it at once.
  if (n >= 2 && !Moved(names[n - 1])) {
    Text& key = scratch_key_;
    key.assign(drive);
    for (std::size_t i = 0; i + 1 < n; ++i) {
      if (Moved(names[i])) {
        key.clear();
        break;
      }
      key += u'\\';
      AppendUpper(&key, names[i]);
    }
    if (auto f = key.empty() ? folders_.end() : folders_.find(key); f != folders_.end() && f->second.listed) {
      scratch_upper_.clear();
      AppendUpper(&scratch_upper_, names[n - 1]);
      auto e = f->second.entries.find(scratch_upper_);
      return e == f->second.entries.end() ? FileKind::kMissing : KindOfEntry(Pick(e->second, names[n - 1]));
    }
  }
  // The drive root: listed when the adapter lists, else its entries are
  // asked one by one.
  Text key = Upcase(drive);
  Text asked = drive;
  auto root = folders_.find(key);
  if (root == folders_.end()) {
    Folder f;
    f.kind = FileKind::kDirectory;
    f.path = drive;
    List(&f, drive + u"\\");
    root = folders_.emplace(key, std::move(f)).first;
  }
  Folder* parent = &root->second;

  for (std::size_t i = 0; i < n; ++i) {
    const TextView name = names[i];
    const Text upper = Upcase(name);
    key += u'\\';
    key += upper;
    const std::size_t parent_length = asked.size();
    asked += u'\\';
    asked += name;
    const bool last = i + 1 == n;
    if (Moved(name)) {
      // Redirection may move this name and what lies below it: the whole
      // path is asked as it is.
      for (std::size_t j = i + 1; j < n; ++j) {
        key += u'\\';
        key += Upcase(names[j]);
        asked += u'\\';
        asked += names[j];
      }
      if (auto it = answers_.find(key); it != answers_.end()) return it->second;
      const FileKind k = inner_.FileAttributes(asked);
      answers_.emplace(std::move(key), k);
      return k;
    }

    FileKind kind;
    auto folder = folders_.find(key);
    if (folder != folders_.end()) {
      kind = folder->second.kind;
      asked = folder->second.path;
    } else if (auto it = answers_.find(key); it != answers_.end()) {
      kind = it->second;
    } else {
      if (!parent->listed && !parent->unlistable && ++parent->asked >= listing_cost_) List(parent, parent->path);
      if (parent->listed) {
        auto e = parent->entries.find(upper);
        const FolderEntry* entry = e == parent->entries.end() ? nullptr : Pick(e->second, name);
        kind = KindOfEntry(entry);
        // Below, ask with the name as the folder spells it: a host that
        // tells case apart (Wine) then finds each folder without searching.
        if (entry && entry->name != name) {
          asked.resize(parent_length + 1);
          asked += entry->name;
        }
      } else {
        kind = inner_.FileAttributes(asked);
        answers_.emplace(key, kind);
      }
    }
    if (last) return kind;
    // Nothing lies below a file or a missing path.
    if (kind != FileKind::kDirectory) return FileKind::kMissing;
    if (folder == folders_.end()) {
      Folder f;
      f.kind = FileKind::kDirectory;
      f.path = asked;
      if (listing_cost_ <= 1) List(&f, asked);
      folder = folders_.emplace(key, std::move(f)).first;
    }
    parent = &folder->second;
  }
  return FileKind::kMissing;
}

void CachingShellPaths::List(Folder* folder, TextView path) {
  std::vector<FolderEntry> entries;
  folder->listed = inner_.ListFolder(path, &entries);
  folder->unlistable = !folder->listed;
  for (auto& e : entries) folder->entries[Upcase(e.name)].push_back(std::move(e));
}

}  // namespace hs
