// Win32 INI reader: GetPrivateProfileStringW. Stateless; safe from several
// threads at once.
#pragma once

#include "platform/ini_reader.h"

namespace hs {

class Win32IniReader final : public IniReader {
 public:
  Text ReadString(TextView path, TextView section, TextView key, TextView default_value,
                  std::size_t capacity) override;
};

}  // namespace hs
