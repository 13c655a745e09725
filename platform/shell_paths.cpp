#include "platform/shell_paths.h"

namespace hs {

TextView UpToNul(TextView text) {
  const std::size_t nul = text.find(u'\0');
  return nul == TextView::npos ? text : text.substr(0, nul);
}

bool IsBlankName(TextView name) {
  for (char16_t c : name)
    if (c != u'.' && c != u' ') return false;
  return true;
}

}  // namespace hs
