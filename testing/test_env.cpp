#include "testing/test_env.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
// <windows.h> maps these to their W forms; they name FileSystem members.
#undef DeleteFile
#undef MoveFile

#include "platform/win32/win32_clipboard.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_ini_reader.h"
#include "platform/win32/win32_reg_editor.h"
#include "platform/win32/win32_task_scheduler.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_wow64.h"
#else
#include <unistd.h>

#include "platform/portable/file_task_scheduler.h"
#include "platform/portable/host_file_system.h"
#include "platform/portable/portable_ini_reader.h"
#include "platform/portable/portable_wow64.h"
#include "platform/store/registry_store.h"
#include "platform/store_reg_editor.h"
#endif

namespace hs::testing {

#ifdef _WIN32
const char* AdapterName() { return RunningOnWine() ? "win32 (Wine)" : "win32"; }
bool RunningOnWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
std::unique_ptr<Registry> MakeContractRegistry() { return std::make_unique<Win32Registry>(); }
std::unique_ptr<Wow64> MakeContractWow64() { return std::make_unique<Win32Wow64>(); }
std::unique_ptr<FileSystem> MakeContractFileSystem(const std::filesystem::path& host_folder, std::u16string* root) {
  const std::wstring w = host_folder.wstring();
  root->assign(w.begin(), w.end());
  while (!root->empty() && (root->back() == u'\\' || root->back() == u'/')) root->pop_back();
  return std::make_unique<Win32FileSystem>();
}
std::unique_ptr<IniReader> MakeContractIniReader(FileSystem&) { return std::make_unique<Win32IniReader>(); }
std::unique_ptr<Clipboard> MakeContractClipboard() { return std::make_unique<Win32Clipboard>(); }
std::unique_ptr<RegEditor> MakeContractRegEditor(Registry&, FileSystem&, Log&) {
  return std::make_unique<Win32RegEditor>();
}
std::unique_ptr<WholeRegistryEditor> MakeContractWholeEditor(Registry&, FileSystem&, Log&) {
  return std::make_unique<Win32RegEditor>();
}
std::unique_ptr<TaskScheduler> MakeContractTaskScheduler(const std::filesystem::path&) {
  return std::make_unique<Win32TaskScheduler>();
}
static unsigned long Pid() { return GetCurrentProcessId(); }
#else
const char* AdapterName() { return "portable"; }
bool RunningOnWine() { return false; }
std::unique_ptr<Registry> MakeContractRegistry() {
  RegistryStore::Options o;
  o.windows64 = true;
  return std::make_unique<RegistryStore>(o);
}
std::unique_ptr<Wow64> MakeContractWow64() { return std::make_unique<PortableWow64>(true); }
std::unique_ptr<FileSystem> MakeContractFileSystem(const std::filesystem::path& host_folder, std::u16string* root) {
  auto fs = std::make_unique<HostFileSystem>();
  fs->MapDrive(u'C', host_folder);
  *root = u"C:";
  return fs;
}
std::unique_ptr<IniReader> MakeContractIniReader(FileSystem& fs) { return std::make_unique<PortableIniReader>(fs); }
std::unique_ptr<Clipboard> MakeContractClipboard() { return std::make_unique<MemoryClipboard>(); }
std::unique_ptr<RegEditor> MakeContractRegEditor(Registry& registry, FileSystem& fs, Log& log) {
  return std::make_unique<StoreRegEditor>(registry, fs, true, log);
}
std::unique_ptr<WholeRegistryEditor> MakeContractWholeEditor(Registry& registry, FileSystem& fs, Log& log) {
  return std::make_unique<StoreRegEditor>(registry, fs, true, log);
}
std::unique_ptr<TaskScheduler> MakeContractTaskScheduler(const std::filesystem::path& host_folder) {
  return std::make_unique<FileTaskScheduler>(host_folder / "tasks.txt");
}
static unsigned long Pid() { return static_cast<unsigned long>(getpid()); }
#endif

std::u16string UniqueName(const char* prefix) {
  static std::atomic<int> counter{0};
  std::string s = std::string(prefix) + "-" + std::to_string(Pid()) + "-" + std::to_string(counter++);
  return std::u16string(s.begin(), s.end());
}

std::string SourceDir() {
#ifdef HS_SOURCE_DIR
  const char* compiled = HS_SOURCE_DIR;
#else
  const char* compiled = ".";
#endif
  if (const char* env = std::getenv("HS_SOURCE_DIR")) return env;
  return compiled;
}

}  // namespace hs::testing
