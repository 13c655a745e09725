// Walk benchmark: keys and values read per second through the registry port.
// Natively: a generated store registry of 200,000 keys. In the win32 build
// also Wine's (or Windows') real registry. Prints figures; never fails.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "engine/registry_walk.h"
#include "platform/store/registry_store.h"

#ifdef _WIN32
#include "platform/win32/win32_registry.h"
#endif

namespace hs {
namespace {

std::vector<std::uint8_t> Sz(TextView t) {
  auto b = ToUtf16leBytes(t);
  b.push_back(0);
  b.push_back(0);
  return b;
}

// 200 vendors x 1,000 products = 200,000 keys (plus parents), 3 values each.
void Generate(Registry& reg, int keys) {
  const int per = 1000;
  for (int i = 0; i < keys; ++i) {
    Text path = u"Software\\Bench\\Vendor" + ToText(i / per) + u"\\Product" + ToText(i % per);
    RegKey k = 0;
    if (reg.Create(kHkeyLocalMachine, path, kKeyAllAccess | kKeyWow64_64Key, &k, nullptr) != err::kSuccess) continue;
    (void)reg.SetValue(k, u"InstallLocation", kRegSz, Sz(u"C:\\Program Files\\Vendor\\Product" + ToText(i)));
    (void)reg.SetValue(k, u"Version", kRegDword, {1, 0, 0, 0});
    (void)reg.SetValue(k, u"", kRegSz, Sz(u"default"));
    reg.Close(k);
  }
}

void Report(const char* what, const WalkCounts& c, double secs) {
  std::printf("%-44s %9llu keys %9llu values %7.3f s %10.0f keys/s %10.0f values/s\n", what,
              static_cast<unsigned long long>(c.keys), static_cast<unsigned long long>(c.values), secs,
              c.keys / (secs > 0 ? secs : 1e-9), c.values / (secs > 0 ? secs : 1e-9));
}

template <typename Fn>
double Time(Fn fn) {
  auto t0 = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace
}  // namespace hs

int main(int argc, char** argv) {
  using namespace hs;
  int keys = argc > 1 ? std::atoi(argv[1]) : 200000;
  RegistryStore::Options o;
  o.windows64 = true;
  RegistryStore store(o);
  double gen = Time([&] { Generate(store, keys); });
  std::printf("generated %d keys in the store in %.2f s\n", keys, gen);
  WalkCounts c;
  double secs = Time([&] { c = WalkRegistry(store, kHkeyLocalMachine, u"Software\\Bench", kKeyWow64_64Key); });
  Report("store: generated registry", c, secs);
#ifdef _WIN32
  Win32Registry live;
  // Warm-up: the first walk after the registry server starts pays for its
  // start-up and is not representative.
  (void)WalkRegistry(live, kHkeyLocalMachine, u"Software", kKeyWow64_64Key);
  struct {
    const char* what;
    RegKey root;
    const char16_t* path;
    std::uint32_t view;
  } walks[] = {
      {"live: HKLM\\Software, 64-bit view", kHkeyLocalMachine, u"Software", kKeyWow64_64Key},
      {"live: HKLM\\Software, 32-bit view", kHkeyLocalMachine, u"Software", kKeyWow64_32Key},
      {"live: HKEY_CLASSES_ROOT", kHkeyClassesRoot, u"", 0},
      {"live: HKEY_CURRENT_USER", kHkeyCurrentUser, u"", 0},
  };
  for (auto& w : walks) {
    secs = Time([&] { c = WalkRegistry(live, w.root, w.path, w.view); });
    Report(w.what, c, secs);
  }
#endif
  return 0;
}
