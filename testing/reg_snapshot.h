// Registry export text as sorted "key|value line" entries, hex continuation
// lines joined: equal registries give equal snapshots whatever order keys
// and values are listed in.
#pragma once

#include <algorithm>
#include <vector>

#include "platform/text.h"

namespace hs::testing {

inline std::vector<Text> SortedRegLines(const Text& text) {
  Text joined;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 5, u"\\\r\n  ") == 0) {
      i += 4;
      continue;
    }
    joined += text[i];
  }
  std::vector<Text> out;
  Text key;
  std::size_t start = 0;
  while (start < joined.size()) {
    std::size_t end = joined.find(u"\r\n", start);
    if (end == Text::npos) end = joined.size();
    const Text line = joined.substr(start, end - start);
    start = end + 2;
    if (line.empty()) continue;
    if (line[0] == u'[') key = line;
    out.push_back(line[0] == u'[' ? line : key + u"|" + line);
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace hs::testing
