// hivesweep: the command-line front end. Natively it works on a registry
// snapshot (a sample machine or a .reg file) loaded into the portable store;
// the win32 build works on the live registry.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "engine/registry_walk.h"
#include "platform/reg_text.h"
#include "platform/store/registry_store.h"

#ifdef _WIN32
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_wow64.h"
#endif

namespace hs {
namespace {

int Usage() {
  std::fprintf(stderr,
               "usage:\n"
               "  hivesweep show [--machine DIR]      registry contents per root and view\n"
               "                                      (natively the sample machine in DIR,\n"
               "                                      default samples/demo-machine; on Windows\n"
               "                                      the live registry)\n"
               "  hivesweep regcheck [--view 32|64] FILE.reg...\n"
               "                                      load .reg files into a store, save it\n"
               "                                      back and compare keys, values and data\n");
  return 2;
}

bool ReadHostFile(const std::string& path, std::vector<std::uint8_t>* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool LoadRegFile(Registry& reg, const std::string& path, std::uint32_t view, RegTextDocument* doc) {
  std::vector<std::uint8_t> bytes;
  if (!ReadHostFile(path, &bytes)) {
    std::fprintf(stderr, "%s: cannot read the file\n", path.c_str());
    return false;
  }
  RegTextError error;
  if (!ParseRegText(bytes.data(), bytes.size(), doc, &error)) {
    std::fprintf(stderr, "%s:%d: %s\n", path.c_str(), error.line, error.message.c_str());
    return false;
  }
  int line = 0;
  if (WinError e = ApplyRegText(reg, *doc, view, &line)) {
    std::fprintf(stderr, "%s:%d: the registry refused the entry (error %d)\n", path.c_str(), line, e);
    return false;
  }
  return true;
}

struct RootRow {
  RegKey root;
  const char* name;
};
constexpr RootRow kRoots[] = {{kHkeyLocalMachine, "HKEY_LOCAL_MACHINE"},
                              {kHkeyClassesRoot, "HKEY_CLASSES_ROOT"},
                              {kHkeyCurrentUser, "HKEY_CURRENT_USER"},
                              {kHkeyUsers, "HKEY_USERS"},
                              {kHkeyCurrentConfig, "HKEY_CURRENT_CONFIG"}};

void PrintRegistry(Registry& reg, bool windows64) {
  std::printf("%-22s %-6s %10s %10s %12s\n", "root", "view", "keys", "values", "data bytes");
  for (const auto& r : kRoots) {
    for (std::uint32_t view : {kKeyWow64_64Key, kKeyWow64_32Key}) {
      if (!windows64 && view == kKeyWow64_32Key) continue;
      WalkCounts c = WalkRegistry(reg, r.root, u"", windows64 ? view : 0);
      std::printf("%-22s %-6s %10llu %10llu %12llu\n", r.name,
                  !windows64 ? "-" : view == kKeyWow64_64Key ? "64-bit" : "32-bit",
                  static_cast<unsigned long long>(c.keys), static_cast<unsigned long long>(c.values),
                  static_cast<unsigned long long>(c.value_bytes));
    }
  }
}

int Show(const std::vector<std::string>& args) {
#ifdef _WIN32
  (void)args;
  Win32Registry reg;
  Win32Wow64 wow;
  std::printf("Live registry\n");
  PrintRegistry(reg, wow.IsWow64Process());
  return 0;
#else
  std::string dir = "samples/demo-machine";
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--machine" && i + 1 < args.size()) dir = args[++i];
    else return Usage();
  }
  RegistryStore::Options o;
  o.windows64 = true;
  RegistryStore reg(o);
  RegTextDocument doc;
  if (!LoadRegFile(reg, dir + "/registry.reg", kKeyWow64_64Key, &doc)) return 1;
  std::printf("Sample machine %s (64-bit Windows): %zu keys in its snapshot\n", dir.c_str(), doc.keys.size());
  PrintRegistry(reg, true);
  return 0;
#endif
}

// Key path (upper-cased) -> value name (upper-cased) -> type and data.
using Snapshot = std::map<Text, std::map<Text, RegValue>>;

void AddToSnapshot(const RegTextDocument& doc, Snapshot* snap) {
  for (const auto& k : doc.keys) {
    Text key = Upcase(k.root_name + (k.path.empty() ? u"" : u"\\" + k.path));
    if (k.remove) {
      for (auto it = snap->lower_bound(key); it != snap->end() && it->first.compare(0, key.size(), key) == 0;)
        it = snap->erase(it);
      continue;
    }
    auto& values = (*snap)[key];
    for (const auto& v : k.values) {
      if (v.remove) values.erase(Upcase(v.name));
      else values[Upcase(v.name)] = RegValue{v.type, v.data};
    }
  }
}

int RegCheck(const std::vector<std::string>& args) {
  std::uint32_t view = kKeyWow64_64Key;
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--view" && i + 1 < args.size()) {
      view = args[++i] == "32" ? kKeyWow64_32Key : kKeyWow64_64Key;
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.empty()) return Usage();
  RegistryStore::Options o;
  o.windows64 = true;
  RegistryStore reg(o);
  Snapshot original;
  auto t0 = std::chrono::steady_clock::now();
  for (const auto& f : files) {
    RegTextDocument doc;
    if (!LoadRegFile(reg, f, view, &doc)) return 1;
    AddToSnapshot(doc, &original);
  }
  Text saved;
  if (ExportAllRoots(reg, view, /*lossless=*/true, &saved) != err::kSuccess) {
    std::fprintf(stderr, "export failed\n");
    return 1;
  }
  auto bytes = EncodeRegFile(saved);
  RegTextDocument back;
  RegTextError error;
  if (!ParseRegText(bytes.data(), bytes.size(), &back, &error)) {
    std::fprintf(stderr, "saved text does not parse: line %d: %s\n", error.line, error.message.c_str());
    return 1;
  }
  Snapshot round;
  AddToSnapshot(back, &round);
  auto t1 = std::chrono::steady_clock::now();
  // Every key and value of the input must come back unchanged. The store may
  // hold more (the keys a 64-bit Windows registry always has, and the merged
  // classes root), but under the roots a file exported nothing else appears.
  std::size_t keys = 0, values = 0, missing = 0, changed = 0;
  for (const auto& [key, vals] : original) {
    ++keys;
    auto it = round.find(key);
    if (it == round.end()) {
      if (++missing <= 10) std::printf("missing key: %s\n", ToUtf8(key).c_str());
      continue;
    }
    for (const auto& [name, v] : vals) {
      ++values;
      auto vi = it->second.find(name);
      if (vi == it->second.end() || vi->second.type != v.type || vi->second.data != v.data) {
        if (++changed <= 10) std::printf("changed value: %s : %s\n", ToUtf8(key).c_str(), ToUtf8(name).c_str());
      }
    }
    if (it->second.size() != vals.size()) {
      if (++changed <= 10) std::printf("value count differs: %s\n", ToUtf8(key).c_str());
    }
  }
  std::size_t extra = 0;
  for (const auto& [key, vals] : round) {
    if (original.count(key)) continue;
    bool under_input = false;
    for (const auto& [okey, ovals] : original) {
      (void)ovals;
      if (key.size() > okey.size() && key.compare(0, okey.size(), okey) == 0 && key[okey.size()] == u'\\') {
        under_input = true;
        break;
      }
    }
    if (under_input && !vals.empty() && ++extra <= 10) std::printf("extra key: %s\n", ToUtf8(key).c_str());
  }
  double secs = std::chrono::duration<double>(t1 - t0).count();
  std::printf("%zu keys, %zu values checked in %.2f s: %zu missing keys, %zu changed values, %zu extra keys\n",
              keys, values, secs, missing, changed, extra);
  return missing || changed || extra ? 1 : 0;
}

int Main(const std::vector<std::string>& args) {
  if (args.empty()) return Usage();
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "show") return Show(rest);
  if (args[0] == "regcheck") return RegCheck(rest);
  return Usage();
}

}  // namespace
}  // namespace hs

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::u16string w(reinterpret_cast<const char16_t*>(argv[i]));
    args.push_back(hs::ToUtf8(w));
  }
  return hs::Main(args);
}
#else
int main(int argc, char** argv) { return hs::Main(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
