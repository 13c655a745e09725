#include "testing/test_env.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_wow64.h"
#else
#include <unistd.h>

#include "platform/portable/portable_wow64.h"
#include "platform/store/registry_store.h"
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
