// The machine a benchmark runs on: in the win32 build the real registry,
// file system and shell paths; natively a registry store (64-bit Windows)
// and a host scratch folder shown as drive C:.
#pragma once

#include <chrono>
#include <filesystem>

#include "areas/areas.h"
#include "engine/file_reference.h"
#include "engine/scan_manager.h"
#include "platform/callback_notifier.h"
#include "platform/log.h"
#include "platform/portable_key_protection.h"
#include "platform/portable_system_info.h"
#include "platform/text.h"

#ifdef _WIN32
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_shell_paths.h"
#include "platform/win32/win32_wow64.h"
#else
#include "platform/portable/host_file_system.h"
#include "platform/portable/portable_shell_paths.h"
#include "platform/portable/portable_wow64.h"
#include "platform/store/registry_store.h"
#endif

namespace hs {

inline double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// prefix + a number that differs between runs, for scratch keys and folders.
inline Text BenchTag(const char16_t* prefix) {
  return Text(prefix) + ToText(static_cast<std::int64_t>(
                            std::chrono::steady_clock::now().time_since_epoch().count() % 1000000));
}

struct BenchMachine {
  explicit BenchMachine(const Text& tag_in) : tag(tag_in), folder(u"C:\\" + tag_in) {
#ifdef _WIN32
    host = std::filesystem::path(std::wstring(folder.begin(), folder.end()));
    folder_host = host;
#else
    host = std::filesystem::temp_directory_path() / ToUtf8(tag);
    std::filesystem::create_directories(host);
    fs.MapDrive(u'C', host);
    folder_host = host / ToUtf8(tag);
#endif
  }

  Text tag;
  Text folder;                       // C:\<tag>, the benchmark's scratch folder
  std::filesystem::path host;        // what to remove when done
  std::filesystem::path folder_host;  // `folder` as a host path
#ifdef _WIN32
  Win32Registry registry;
  Win32Wow64 wow64;
  Win32FileSystem fs;
  Win32ShellPaths shell;
  const char* adapters = "win32 adapters";
#else
  RegistryStore registry{[] {
    RegistryStore::Options o;
    o.windows64 = true;
    return o;
  }()};
  PortableWow64 wow64{true};
  HostFileSystem fs;
  PortableShellPaths shell{fs, [] {
                             ShellMachine m;
                             m.drives = {{u'C', drive_type::kFixed}};
                             m.environment = {{u"SystemRoot", u"C:\\Windows"}, {u"windir", u"C:\\Windows"}};
                             m.search_path = {u"C:\\Windows\\system32", u"C:\\Windows"};
                             m.windows64 = true;
                             return m;
                           }()};
  const char* adapters = "portable adapters (store, host file system)";
#endif
};

// A scan over a benchmark machine: every area, the file reference test
// without safe lists, a 64-bit Windows 7 with administrator rights, no log.
struct BenchScan {
  BenchScan(Registry& registry, Wow64& wow64, ShellPaths& shell)
      : context{registry, wow64, system, protection, notifier, log},
        manager(context, CreateArea),
        refs(shell, manager.reg(), nullptr, manager.system_folder(), manager.system_folder32()) {
    context.file_refs = &refs;
    context.shell = &shell;
  }

  PortableSystemInfo system{MachineFacts{6, true, u"C:\\Windows\\system32", u"C:\\Windows\\SysWOW64"}};
  PortableKeyProtection protection;
  CallbackNotifier notifier{[](const CallbackNotifier::Message&) {}};
  NullLog log;
  ScanContext context;
  ScanManager manager;
  FileReferences refs;
};

}  // namespace hs
