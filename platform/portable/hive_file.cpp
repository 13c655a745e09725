#include "platform/portable/hive_file.h"

#include <hivex.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <system_error>
#include <vector>

#include "platform/hive_limits.h"
#include "platform/little_endian.h"
#include "platform/portable/blank_hive.h"

namespace hs {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kFiletimeUnixEpoch = 116444736000000000ULL;

std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

struct HiveCloser {
  void operator()(hive_h* h) const { (void)hivex_close(h); }
};
using Hive = std::unique_ptr<hive_h, HiveCloser>;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

Hive OpenChecked(const fs::path& file, int flags, std::string* error) {
  std::string why;
  if (!CheckHiveFile(file, &why)) {
    *error = file.string() + ": not a hive file (" + why + ")";
    return nullptr;
  }
  Hive h(hivex_open(file.c_str(), flags));
  if (!h) *error = Errno((file.string() + ": hivex cannot open it").c_str());
  return h;
}

std::vector<hive_node_h> Children(hive_h* h, hive_node_h node, bool* ok) {
  std::vector<hive_node_h> out;
  Owned<hive_node_h> list(hivex_node_children(h, node));
  if (!list) {
    *ok = false;
    return out;
  }
  for (hive_node_h* p = list.get(); *p; ++p) out.push_back(*p);
  return out;
}

struct Value {
  std::string name;
  hive_type type = hive_t_REG_NONE;
  std::string data;
};

bool Values(hive_h* h, hive_node_h node, std::vector<Value>* out) {
  Owned<hive_value_h> list(hivex_node_values(h, node));
  if (!list) return false;
  for (hive_value_h* p = list.get(); *p; ++p) {
    Owned<char> name(hivex_value_key(h, *p));
    if (!name) return false;
    Value v;
    v.name = name.get();
    std::size_t len = 0;
    Owned<char> data(hivex_value_value(h, *p, &v.type, &len));
    if (!data && len != 0) return false;
    if (data) v.data.assign(data.get(), len);
    out->push_back(std::move(v));
  }
  return true;
}

bool CopyKeys(hive_h* src, hive_node_h from, hive_h* dst, hive_node_h to, int depth, std::string* error) {
  if (depth > kMaxHiveKeyDepth) {
    *error = "keys nested deeper than " + std::to_string(kMaxHiveKeyDepth);
    return false;
  }
  std::vector<Value> values;
  if (!Values(src, from, &values)) {
    *error = Errno("reading values");
    return false;
  }
  if (!values.empty()) {
    std::vector<hive_set_value> set(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      set[i].key = values[i].name.data();
      set[i].t = values[i].type;
      set[i].len = values[i].data.size();
      set[i].value = values[i].data.data();
    }
    if (hivex_node_set_values(dst, to, set.size(), set.data(), 0) != 0) {
      *error = Errno("writing values");
      return false;
    }
  }
  bool ok = true;
  for (hive_node_h child : Children(src, from, &ok)) {
    Owned<char> name(hivex_node_name(src, child));
    if (!name) {
      *error = Errno("reading a key name");
      return false;
    }
    const hive_node_h copy = hivex_node_add_child(dst, to, name.get());
    if (copy == 0) {
      *error = Errno(("adding key " + std::string(name.get())).c_str());
      return false;
    }
    if (!CopyKeys(src, child, dst, copy, depth + 1, error)) return false;
  }
  if (!ok) *error = Errno("listing keys");
  return ok;
}

bool SameKeys(hive_h* a, hive_node_h na, hive_h* b, hive_node_h nb, const std::string& path, int depth,
              std::string* difference) {
  if (depth > kMaxHiveKeyDepth) {
    *difference = path + ": nested too deep";
    return false;
  }
  std::vector<Value> va, vb;
  if (!Values(a, na, &va) || !Values(b, nb, &vb)) {
    *difference = path + ": values unreadable";
    return false;
  }
  if (va.size() != vb.size()) {
    *difference = path + ": " + std::to_string(va.size()) + " values against " + std::to_string(vb.size());
    return false;
  }
  for (std::size_t i = 0; i < va.size(); ++i) {
    if (va[i].name != vb[i].name || va[i].type != vb[i].type || va[i].data != vb[i].data) {
      *difference = path + ": value \"" + va[i].name + "\" differs";
      return false;
    }
  }
  bool ok = true;
  const std::vector<hive_node_h> ca = Children(a, na, &ok), cb = Children(b, nb, &ok);
  if (!ok || ca.size() != cb.size()) {
    *difference = path + ": subkeys differ";
    return false;
  }
  for (std::size_t i = 0; i < ca.size(); ++i) {
    Owned<char> x(hivex_node_name(a, ca[i])), y(hivex_node_name(b, cb[i]));
    if (!x || !y || std::strcmp(x.get(), y.get()) != 0) {
      *difference = path + ": subkey " + (x ? x.get() : "?") + " against " + (y ? y.get() : "?");
      return false;
    }
    if (!SameKeys(a, ca[i], b, cb[i], path + "\\" + x.get(), depth + 1, difference)) return false;
  }
  return true;
}

}  // namespace

bool CheckHiveImage(std::span<const std::uint8_t> image, std::string* why) {
  if (image.size() > kMaxHiveFileBytes) return *why = "larger than the hive size limit", false;
  if (image.size() < kHiveBaseBlockSize + kHiveBinSize) return *why = "shorter than a base block and one bin", false;
  const std::uint8_t* p = image.data();
  if (std::memcmp(p, "regf", 4) != 0) return *why = "no regf signature", false;
  if (HiveBaseBlockChecksum(image.first(kHiveChecksumOffset)) != Le32(p + kHiveChecksumOffset))
    return *why = "base block checksum wrong", false;
  if (Le32(p + 20) != kHiveMajorVersion) return *why = "major version is not 1", false;
  if (Le32(p + 28) != 0 || Le32(p + 32) != 1) return *why = "not a primary file of format 1", false;
  const std::uint64_t bins = Le32(p + 40);
  if (bins == 0 || bins % kHiveBinSize != 0 || bins > image.size() - kHiveBaseBlockSize)
    return *why = "hive bins size outside the file", false;
  if (Le32(p + 36) + 4ull > bins) return *why = "root cell outside the hive bins", false;
  if (std::memcmp(p + kHiveBaseBlockSize, "hbin", 4) != 0) return *why = "first bin has no hbin signature", false;
  return true;
}

bool CheckHiveFile(const fs::path& file, std::string* why) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec) return *why = ec.message(), false;
  if (size > kMaxHiveFileBytes) return *why = "larger than the hive size limit", false;
  std::ifstream in(file, std::ios::binary);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
    return *why = "cannot be read", false;
  return CheckHiveImage(bytes, why);
}

bool WriteCompactHive(const fs::path& source, const fs::path& target, std::string* error) {
  std::error_code ec;
  fs::remove(target, ec);
  Hive src = OpenChecked(source, 0, error);
  if (!src) return false;
  Owned<char> root_name(hivex_node_name(src.get(), hivex_root(src.get())));
  if (!root_name) return *error = Errno("reading the root name"), false;
  const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  std::vector<std::uint8_t> blank;
  if (!MakeBlankHive(FromUtf8(root_name.get()), kFiletimeUnixEpoch + static_cast<std::uint64_t>(now.count()) * 10,
                     &blank)) {
    *error = "the root name cannot start a blank hive";
    return false;
  }
  {
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out.write(reinterpret_cast<const char*>(blank.data()), static_cast<std::streamsize>(blank.size()))) {
      *error = target.string() + ": cannot be written";
      fs::remove(target, ec);
      return false;
    }
  }
  bool ok = false;
  {
    Hive dst(hivex_open(target.c_str(), HIVEX_OPEN_WRITE));
    if (!dst) *error = Errno("hivex cannot open the blank copy");
    else if (CopyKeys(src.get(), hivex_root(src.get()), dst.get(), hivex_root(dst.get()), 0, error))
      ok = hivex_commit(dst.get(), target.c_str(), 0) == 0 || (*error = Errno("writing the copy"), false);
  }
  if (!ok) fs::remove(target, ec);
  return ok;
}

bool SameHiveContents(const fs::path& a, const fs::path& b, std::string* difference) {
  Hive ha = OpenChecked(a, 0, difference);
  if (!ha) return false;
  Hive hb = OpenChecked(b, 0, difference);
  if (!hb) return false;
  Owned<char> ra(hivex_node_name(ha.get(), hivex_root(ha.get()))), rb(hivex_node_name(hb.get(), hivex_root(hb.get())));
  if (!ra || !rb || std::strcmp(ra.get(), rb.get()) != 0) return *difference = "root names differ", false;
  return SameKeys(ha.get(), hivex_root(ha.get()), hb.get(), hivex_root(hb.get()), ra.get(), 0, difference);
}

bool CompactHiveInPlace(const fs::path& file, std::string* error, const HiveCopyWriter& write) {
  fs::path copy = file, old = file;
  copy += ".compact";
  old += ".old";
  std::error_code ec;
  if (!write(file, copy, error)) {
    fs::remove(copy, ec);
    return false;
  }
  std::string difference;
  if (!SameHiveContents(file, copy, &difference)) {
    *error = "the compact copy fails verification: " + difference;
    fs::remove(copy, ec);
    return false;
  }
  fs::rename(file, old, ec);
  if (ec) {
    *error = file.string() + ": cannot be renamed: " + ec.message();
    fs::remove(copy, ec);
    return false;
  }
  fs::rename(copy, file, ec);
  if (ec) {
    *error = file.string() + ": the copy cannot take its place: " + ec.message();
    std::error_code back;
    fs::rename(old, file, back);
    fs::remove(copy, back);
    return false;
  }
  fs::remove(old, ec);
  return true;
}

}  // namespace hs
