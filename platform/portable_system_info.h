// SystemInfo of a machine described by configuration (the native build's
// adapter; tests use it on both platforms).
#pragma once

#include "platform/system_info.h"

namespace hs {

struct MachineFacts {
  int major_version = 6;
  bool administrator = true;
  Text system_directory = u"C:\\Windows\\system32";
  Text system_wow64_directory = u"C:\\Windows\\SysWOW64";  // empty on 32-bit Windows
};

class PortableSystemInfo final : public SystemInfo {
 public:
  explicit PortableSystemInfo(MachineFacts facts) : facts_(std::move(facts)) {}
  int MajorVersion() override { return facts_.major_version; }
  bool IsAdministrator() override { return facts_.administrator; }
  Text SystemDirectory() override { return facts_.system_directory; }
  Text SystemWow64Directory() override { return facts_.system_wow64_directory; }

 private:
  MachineFacts facts_;
};

}  // namespace hs
