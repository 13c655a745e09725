#include "areas/user_lists.h"

#include <algorithm>
#include <utility>

#include "engine/archive.h"

namespace hs {

namespace {


}  // namespace

std::vector<std::uint8_t> EncodeUserListFile(const std::vector<Text>& entries) {
  ArchiveWriter w;
  w.U32(static_cast<std::uint32_t>(entries.size()));
  w.StringArray(entries);
  if (!w.ok()) return {};
  return w.Take();
}

bool DecodeUserListFile(std::span<const std::uint8_t> bytes, std::vector<Text>* entries, std::string* error) {
  ArchiveReader r(bytes.data(), bytes.size());
  std::uint32_t stored_count = 0;  // the array carries its own count
  std::vector<Text> items;
  if (r.U32(&stored_count) && r.StringArray(&items) && !r.AtEnd()) {
    r.Fail(std::to_string(r.remaining()) + " bytes after the entry list");
  }
  if (!r.ok()) {
    if (error) *error = r.error();
    return false;
  }
  *entries = std::move(items);
  return true;
}

TextView UserList::file_name() const {
  return kind_ == UserListKind::kExclusion ? kExcludeListFileName : kTempIgnoreListFileName;
}

bool UserList::Matches(TextView candidate) const {
  if (entries_.empty()) return false;
  const Text upper = Upcase(candidate);
  return std::any_of(upper_.begin(), upper_.end(), [&](const Text& e) {
    return !e.empty() && upper.find(e) != Text::npos;
  });
}

bool UserList::EqualsAnyEntryNoCase(TextView key) const {
  if (entries_.empty()) return false;
  const Text upper = Upcase(key);
  return std::find(upper_.begin(), upper_.end(), upper) != upper_.end();
}

void UserList::Add(TextView entry) {
  entries_.emplace_back(entry);
  upper_.push_back(Upcase(entry));
}

void UserList::RemoveAt(std::span<const std::size_t> positions) {
  std::vector<bool> drop(entries_.size(), false);
  for (std::size_t p : positions) {
    if (p < drop.size()) drop[p] = true;
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (drop[i]) continue;
    if (kept != i) {
      entries_[kept] = std::move(entries_[i]);
      upper_[kept] = std::move(upper_[i]);
    }
    ++kept;
  }
  entries_.resize(kept);
  upper_.resize(kept);
}

void UserList::Clear() {
  entries_.clear();
  upper_.clear();
}

Text UserList::FilePath(TextView data_folder) const {
  Text path(data_folder);
  if (path.back() != u'\\') path.push_back(u'\\');
  path += file_name();
  return path;
}

ListLoadResult UserList::Load(FileSystem& fs, TextView data_folder, Log& log) {
  Clear();
  unreadable_error_ = err::kSuccess;
  if (data_folder.empty()) {
    log.LogLine(Text(file_name()) + u" not loaded: the data folder is unknown");
    return ListLoadResult::kUnreadable;
  }
  const Text path = FilePath(data_folder);
  std::vector<std::uint8_t> bytes;
  const WinError e = fs.ReadFile(path, kMaxUserListFileBytes, &bytes);
  if (e == err::kFileNotFound || e == err::kPathNotFound) return ListLoadResult::kMissing;
  if (e == err::kFileTooLarge) {
    log.LogLine(path + u" is damaged (larger than " + ToText(static_cast<std::int64_t>(kMaxUserListFileBytes)) +
                u" bytes); the list starts empty");
    (void)SetAsideDamagedFile(fs, path, log);
    return ListLoadResult::kDamaged;
  }
  if (e != err::kSuccess) {
    // Not damaged, only out of reach now: the file stays, and is not saved over.
    log.LogLine(LogSafe(path) + u" could not be read (" + ErrorText(e) +
                u"); the list starts empty and the file is kept as it is");
    unreadable_error_ = e;
    return ListLoadResult::kUnreadable;
  }
  std::vector<Text> entries;
  std::string error;
  if (!DecodeUserListFile(bytes, &entries, &error)) {
    log.LogLine(path + u" is damaged (" + FromUtf8(error) + u"); the list starts empty");
    (void)SetAsideDamagedFile(fs, path, log);
    return ListLoadResult::kDamaged;
  }
  for (const Text& entry : entries) upper_.push_back(Upcase(entry));
  entries_ = std::move(entries);
  return ListLoadResult::kLoaded;
}

WinError UserList::Save(FileSystem& fs, TextView data_folder, Log& log) const {
  if (data_folder.empty()) {
    log.LogLine(Text(file_name()) + u" not saved: the data folder is unknown");
    return err::kPathNotFound;
  }
  const Text path = FilePath(data_folder);
  if (unreadable_error_ != err::kSuccess) {
    log.LogLine(LogSafe(path) + u" not saved: it could not be read at load (" + ErrorText(unreadable_error_) +
                u"), so its entries would be lost");
    return unreadable_error_;
  }
  const std::vector<std::uint8_t> bytes = EncodeUserListFile(entries_);
  if (bytes.empty()) {
    log.LogLine(path + u" not saved: the list exceeds the limits of the file format");
    return err::kInvalidData;
  }
  const WinError e = fs.WriteFileAtomic(path, bytes);
  if (e != err::kSuccess) log.LogLine(path + u" could not be saved (" + ErrorText(e) + u")");
  return e;
}

AddExclusionResult AddExclusionFromSettings(UserList& list, TextView root_name, TextView subkey) {
  Text sub = Trim(subkey);
  const std::size_t start = sub.find_first_not_of(u'\\');
  if (start == Text::npos) return AddExclusionResult::kEmptyKey;
  Text entry = Upcase(root_name);
  if (entry.empty() || entry.back() != u'\\') entry.push_back(u'\\');
  entry += Upcase(TextView(sub).substr(start));
  if (list.EqualsAnyEntryNoCase(entry)) return AddExclusionResult::kAlreadyExists;
  list.Add(entry);
  return AddExclusionResult::kAdded;
}

AddExclusionResult AddExclusionFromResults(UserList& list, TextView key_path) {
  if (!key_path.starts_with(u"HKEY_")) return AddExclusionResult::kNotAKeyPath;
  if (list.EqualsAnyEntryNoCase(key_path)) return AddExclusionResult::kAlreadyExists;
  list.Add(key_path);
  return AddExclusionResult::kAdded;
}

}  // namespace hs
