// hs_gen_machine: writes a machine folder of realistic size for the
// benchmarks and timing runs: the sample machine (copied from --sample,
// samples/demo-machine by default) plus N generated keys appended to its
// registry.reg, with the files that exist under drive_c.
//
//   hs_gen_machine --keys N --out DIR [--sample DIR|none] [--seed S]
//
// With --sample none the folder holds the generated keys and files only.
// The keys have the shape of a real machine's: programs of vendors, each
// with an install folder and files (most installed, some removed, some
// files of an installed program gone), uninstall entries, App Paths, class
// registrations (CLSID with InprocServer32 and ProgID, type libraries,
// interfaces, ProgIDs), settings with numbers and binary blobs, and the
// user's MRU lists naming documents. Paths share their folders as programs
// do. The same seed and size always give the same folder. DIR must not
// exist yet (or be empty).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Options {
  long keys = 200000;
  fs::path out;
  fs::path sample = "samples/demo-machine";
  unsigned seed = 20261208;
};

// Text for a .reg string: backslashes and quotes escaped.
std::string Quote(const std::string& s) {
  std::string q = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') q += '\\';
    q += c;
  }
  return q + "\"";
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string h = "hex:";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i) h += ',';
    h += digits[bytes[i] >> 4];
    h += digits[bytes[i] & 15];
  }
  return h;
}

std::string Dword(std::uint32_t v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "dword:%08x", v);
  return buf;
}

std::string Guid(const char* kind, long i) {
  char buf[64];
  // Kinds differ in the first group so the GUIDs never collide.
  const unsigned k = static_cast<unsigned>(kind[0]) << 8 | static_cast<unsigned>(kind[1]);
  std::snprintf(buf, sizeof buf, "{%08lX-%04X-4A6B-8C9D-%012lX}", i, k & 0xFFFF, i * 7919L);
  return buf;
}

class Writer {
 public:
  explicit Writer(std::ofstream& out) : out_(out) {}
  long keys = 0;

  void Key(const std::string& path) {
    Put("\r\n[" + path + "]\r\n");
    ++keys;
  }
  void Value(const std::string& name, const std::string& data) {
    Put((name.empty() ? std::string("@") : Quote(name)) + "=" + data + "\r\n");
  }
  void Str(const std::string& name, const std::string& text) { Value(name, Quote(text)); }

 private:
  // UTF-16LE; the generated text is ASCII.
  void Put(const std::string& s) {
    buf_.clear();
    for (char c : s) {
      buf_ += c;
      buf_ += '\0';
    }
    out_.write(buf_.data(), static_cast<std::streamsize>(buf_.size()));
  }
  std::ofstream& out_;
  std::string buf_;
};

void Touch(const fs::path& p) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << 'x';
}

bool Parse(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (a == "--keys" && (v = next())) o->keys = std::atol(v);
    else if (a == "--out" && (v = next())) o->out = v;
    else if (a == "--sample" && (v = next())) o->sample = v;
    else if (a == "--seed" && (v = next())) o->seed = static_cast<unsigned>(std::strtoul(v, nullptr, 10));
    else return false;
  }
  return !o->out.empty() && o->keys > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!Parse(argc, argv, &o)) {
    std::fprintf(stderr, "usage: hs_gen_machine --keys N --out DIR [--sample DIR|none] [--seed S]\n");
    return 2;
  }
  std::error_code ec;
  if (fs::exists(o.out, ec) && !fs::is_empty(o.out, ec)) {
    std::fprintf(stderr, "%s exists and is not empty\n", o.out.string().c_str());
    return 1;
  }
  if (o.sample == "none") {
    // The generated keys alone (for loading into a real registry).
    fs::create_directories(o.out / "drive_c", ec);
    std::ofstream head(o.out / "registry.reg", std::ios::binary);
    const std::string text = "Windows Registry Editor Version 5.00\r\n";
    head << "\xFF\xFE";
    for (char c : text) head << c << '\0';
    if (!head) ec = std::make_error_code(std::errc::io_error);
  } else {
    fs::copy(o.sample, o.out, fs::copy_options::recursive, ec);
  }
  if (ec) {
    std::fprintf(stderr, "cannot copy %s: %s\n", o.sample.string().c_str(), ec.message().c_str());
    return 1;
  }
  const fs::path drive = o.out / "drive_c";
  std::ofstream reg(o.out / "registry.reg", std::ios::binary | std::ios::app);
  if (!reg) {
    std::fprintf(stderr, "cannot append to %s\n", (o.out / "registry.reg").string().c_str());
    return 1;
  }
  Writer w(reg);
  std::mt19937 rng(o.seed);
  auto chance = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };

  const std::string hklm = "HKEY_LOCAL_MACHINE\\SOFTWARE";
  const std::string cv = hklm + "\\Microsoft\\Windows\\CurrentVersion";
  const std::string classes = hklm + "\\Classes";
  const std::string hkcu = "HKEY_CURRENT_USER\\Software";
  const char* kDocs[] = {"Documents", "Pictures", "Desktop", "Downloads"};
  const char* kExts[] = {".txt", ".jpg", ".doc", ".png", ".pdf"};
  long files = 0, programs = 0, docs = 0;

  for (long p = 0; w.keys < o.keys; ++p) {
    ++programs;
    const long vendor = p / 6;
    const bool x86 = chance(35);
    const bool installed = chance(80);
    const std::string vendor_name = "Vendor" + std::to_string(vendor);
    const std::string app = "App" + std::to_string(p);
    const std::string pf = x86 ? "C:\\Program Files (x86)" : "C:\\Program Files";
    const std::string folder = pf + "\\" + vendor_name + "\\" + app;
    const fs::path host_folder = drive / (x86 ? "Program Files (x86)" : "Program Files") / vendor_name / app;
    // The program's files: an executable, libraries, a help file; some in
    // a "bin" subfolder. Of an installed program one file in ten is gone.
    std::vector<std::string> names = {app + ".exe", "core" + std::to_string(p) + ".dll",
                                      "ui" + std::to_string(p) + ".dll", "bin\\svc" + std::to_string(p) + ".exe",
                                      "bin\\codec" + std::to_string(p) + ".ocx", app + ".chm"};
    auto path = [&](std::size_t i) { return folder + "\\" + names[i]; };
    if (installed) {
      fs::create_directories(host_folder / "bin");
      for (const std::string& n : names) {
        if (chance(10)) continue;
        std::string host = n;
        if (host.rfind("bin\\", 0) == 0) host.replace(3, 1, "/");
        Touch(host_folder / host);
        ++files;
      }
    }
    const std::string soft = (x86 ? hklm + "\\Wow6432Node" : hklm) + "\\" + vendor_name + "\\" + app;
    const std::string wow = x86 ? hklm + "\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion" : cv;

    // Settings: the install folder, a number, a short binary; a deeper tree.
    w.Key(soft);
    w.Str("InstallDir", folder + "\\");
    w.Value("Version", Dword(static_cast<std::uint32_t>(p * 37 % 100000)));
    w.Value("Options", Hex({static_cast<std::uint8_t>(p), 0x10, 0x00, static_cast<std::uint8_t>(rng())}));
    w.Key(soft + "\\Settings");
    w.Str("Engine", path(1));
    w.Str("Language", "en-US");
    w.Value("Window", Hex(std::vector<std::uint8_t>(24, static_cast<std::uint8_t>(p))));
    w.Key(soft + "\\Settings\\Plugins");
    w.Str("Codec", path(4));
    w.Str("Cache", "C:\\ProgramData\\" + vendor_name + "\\" + app + "\\cache");
    w.Value("Count", Dword(static_cast<std::uint32_t>(rng() % 64)));

    // Uninstall entry and App Paths.
    w.Key(wow + "\\Uninstall\\" + vendor_name + " " + app);
    w.Str("DisplayName", vendor_name + " " + app + " " + std::to_string(p % 9 + 1) + ".0");
    w.Str("Publisher", vendor_name);
    w.Str("InstallLocation", folder + "\\");
    w.Str("UninstallString", "\"" + folder + "\\bin\\unins" + std::to_string(p) + ".exe\" /quiet");
    w.Str("DisplayIcon", path(0) + ",0");
    w.Value("EstimatedSize", Dword(static_cast<std::uint32_t>(rng() % 500000)));
    if (p % 3 == 0) {
      w.Key(wow + "\\App Paths\\" + names[0]);
      w.Str("", path(0));
      w.Str("Path", folder);
    }

    // Class registrations: a class with its server and ProgID, a type
    // library, an interface; a fifth of the classes are in the 32-bit view.
    const std::string cls_root = x86 ? hklm + "\\Wow6432Node\\Classes" : classes;
    const std::string clsid = Guid("cl", p), libid = Guid("tl", p), iid = Guid("if", p);
    const std::string progid = vendor_name + "." + app + ".1";
    w.Key(cls_root + "\\CLSID\\" + clsid);
    w.Str("", app + " Object");
    w.Key(cls_root + "\\CLSID\\" + clsid + "\\InprocServer32");
    w.Str("", path(p % 2 == 0 ? 1 : 2));
    w.Str("ThreadingModel", "Apartment");
    w.Key(cls_root + "\\CLSID\\" + clsid + "\\ProgID");
    w.Str("", progid);
    w.Key(cls_root + "\\CLSID\\" + clsid + "\\TypeLib");
    w.Str("", libid);
    w.Key(classes + "\\" + progid);
    w.Str("", app + " Object");
    w.Key(classes + "\\" + progid + "\\CLSID");
    w.Str("", clsid);
    w.Key(classes + "\\TypeLib\\" + libid + "\\1.0\\0\\win32");
    w.Str("", path(2));
    w.Key(classes + "\\TypeLib\\" + libid + "\\1.0\\HELPDIR");
    w.Str("", folder);
    w.Key(classes + "\\Interface\\" + iid);
    w.Str("", "I" + app);
    w.Key(classes + "\\Interface\\" + iid + "\\TypeLib");
    w.Str("", libid);

    // The user's side: settings and an MRU list of documents (half exist).
    w.Key(hkcu + "\\" + vendor_name + "\\" + app + "\\Recent File List");
    for (int f = 1; f <= 4; ++f) {
      const char* dir = kDocs[rng() % 4];
      const std::string doc = "doc" + std::to_string(p) + "_" + std::to_string(f) + kExts[rng() % 5];
      w.Str("File" + std::to_string(f), "C:\\Users\\demo\\" + std::string(dir) + "\\" + doc);
      if (chance(50)) {
        Touch(drive / "Users" / "demo" / dir / doc);
        ++docs;
      }
    }
    w.Key(hkcu + "\\" + vendor_name + "\\" + app + "\\Layout");
    w.Value("Bars", Hex(std::vector<std::uint8_t>(16, static_cast<std::uint8_t>(rng()))));
    w.Str("LastFolder", "C:\\Users\\demo\\" + std::string(kDocs[p % 4]));
  }
  reg.close();
  if (!reg) {
    std::fprintf(stderr, "writing the registry failed\n");
    return 1;
  }
  std::printf("%s: %ld keys of %ld programs; %ld program files and %ld documents on drive C:\n",
              o.out.string().c_str(), w.keys, programs, files, docs);
  return 0;
}
