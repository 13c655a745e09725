#include "areas/safe_lists.h"

#include <algorithm>
#include <utility>

namespace hs {

namespace {

#include "areas/safe_key_list.inc"
#include "areas/safe_path_list.inc"

std::uint32_t Pair(char16_t a, char16_t b) { return (std::uint32_t{a} << 16) | b; }

Text Normalised(TextView entry) { return Lowercase(Trim(entry)); }

// True for "X:\folder..." and "\\server\share\folder...": a path that names
// something below a drive or share root. A root itself as a safe path entry
// would make every file on that drive or share count as present.
bool IsBelowRoot(TextView p) {
  while (!p.empty() && p.back() == u'\\') p.remove_suffix(1);
  if (p.size() > 3 && p[1] == u':' && p[2] == u'\\') return true;
  if (p.size() > 2 && p[0] == u'\\' && p[1] == u'\\') {
    const std::vector<Text> parts = Split(p.substr(2), u'\\');
    return parts.size() >= 3 &&
           std::none_of(parts.begin(), parts.end(), [](const Text& s) { return s.empty(); });
  }
  return false;
}

std::vector<Text> BuildKeyEntries() {
  std::vector<Text> out;
  out.reserve(std::size(kSafeKeySource));
  for (TextView e : kSafeKeySource) out.push_back(Normalised(e));
  return out;
}

std::vector<Text> BuildPathEntries(ShellFolders& folders) {
  std::vector<Text> out;
  out.reserve(std::size(kSafePathBaseNames) * std::size(kSafePathExtensions) +
              std::size(kSafePathSystemEntries) + 2 + std::size(kSafePathFolderEntries));
  for (TextView base : kSafePathBaseNames) {
    for (TextView ext : kSafePathExtensions) out.push_back(Normalised(Text(base) + Text(ext)));
  }
  for (TextView e : kSafePathSystemEntries) out.push_back(Normalised(e));
  for (int csidl : {kCsidlNetwork, kCsidlNetHood}) {
    Text path = Normalised(folders.SpecialFolderPath(csidl));
    if (IsBelowRoot(path)) out.push_back(std::move(path));
  }
  for (TextView e : kSafePathFolderEntries) out.push_back(Normalised(e));
  return out;
}

}  // namespace

std::span<const TextView> SafeKeySourceEntries() { return kSafeKeySource; }

SubstringSet::SubstringSet(std::vector<Text> entries) {
  entries.erase(std::remove_if(entries.begin(), entries.end(), [](const Text& e) { return e.empty(); }),
                entries.end());
  entries_ = std::move(entries);
  for (std::uint32_t i = 0; i < entries_.size(); ++i) {
    const Text& e = entries_[i];
    if (e.size() == 1) {
      single_units_.push_back(i);
    } else {
      by_pair_[Pair(e[0], e[1])].push_back(i);
    }
  }
}

bool SubstringSet::FoundIn(TextView text) const {
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    for (std::uint32_t idx : single_units_) {
      if (entries_[idx][0] == text[i]) return true;
    }
    if (i + 1 == n) break;
    const auto it = by_pair_.find(Pair(text[i], text[i + 1]));
    if (it == by_pair_.end()) continue;
    const TextView rest = text.substr(i);
    for (std::uint32_t idx : it->second) {
      if (rest.starts_with(entries_[idx])) return true;
    }
  }
  return false;
}

const SubstringSet& SafeLists::Keys() const {
  std::call_once(keys_once_, [this] { keys_ = SubstringSet(BuildKeyEntries()); });
  return keys_;
}

const SubstringSet& SafeLists::Paths() const {
  std::call_once(paths_once_, [this] { paths_ = SubstringSet(BuildPathEntries(folders_)); });
  return paths_;
}

bool SafeLists::IsSafeKey(TextView key_path) const { return Keys().FoundIn(Lowercase(key_path)); }

bool SafeLists::IsSafePath(TextView path) const { return Paths().FoundIn(Lowercase(path)); }

const std::vector<Text>& SafeLists::KeyEntries() const { return Keys().entries(); }

const std::vector<Text>& SafeLists::PathEntries() const { return Paths().entries(); }

}  // namespace hs
