// hs_hive_fixture: the fragmented hive files of samples/defrag-machine, and
// a comparison of two hives through hivex.
//
//   hs_hive_fixture fragmented OUT ROOT KEYS
//       A blank hive with root key ROOT; hivex adds KEYS keys "KeyNNNNN"
//       (each with a REG_SZ, a REG_DWORD and a 512-byte REG_BINARY value,
//       every tenth with a subkey "Sub") and commits, then deletes three
//       keys in four (all but every fourth) and commits again. The freed
//       cells stay in the file: its compact copy is much smaller.
//   hs_hive_fixture compare A B
//       Exit 0 when both hives hold the same keys, values, types and data.
//
// Exit codes: 0 done (or equal), 1 a step failed (or the hives differ), 2
// bad arguments.
#include <hivex.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/portable/blank_hive.h"
#include "platform/portable/hive_file.h"

namespace {

bool SetValues(hive_h* h, hive_node_h node, int i) {
  std::string text_key = "Name", dword_key = "Count", blob_key = "Data";
  std::vector<char> text;
  for (char c : "value of key " + std::to_string(i)) {
    text.push_back(c);
    text.push_back(0);
  }
  text.insert(text.end(), {0, 0});
  char dword[4] = {static_cast<char>(i), static_cast<char>(i >> 8), 0, 0};
  std::vector<char> blob(512);
  for (std::size_t k = 0; k < blob.size(); ++k) blob[k] = static_cast<char>((i * 31 + k) & 0xFF);
  hive_set_value v[3] = {{text_key.data(), hive_t_REG_SZ, text.size(), text.data()},
                         {dword_key.data(), hive_t_REG_DWORD, 4, dword},
                         {blob_key.data(), hive_t_REG_BINARY, blob.size(), blob.data()}};
  return hivex_node_set_values(h, node, 3, v, 0) == 0;
}

int Fragmented(const char* out, const char* root, int keys) {
  std::vector<std::uint8_t> blank;
  if (!hs::MakeBlankHive(hs::FromUtf8(root), 133000000000000000ULL, &blank)) return 2;
  {
    std::ofstream f(out, std::ios::binary | std::ios::trunc);
    if (!f.write(reinterpret_cast<const char*>(blank.data()), static_cast<std::streamsize>(blank.size()))) return 1;
  }
  hive_h* h = hivex_open(out, HIVEX_OPEN_WRITE);
  if (!h) return std::fprintf(stderr, "%s: %s\n", out, std::strerror(errno)), 1;
  bool ok = true;
  for (int i = 0; i < keys && ok; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "Key%05d", i);
    const hive_node_h key = hivex_node_add_child(h, hivex_root(h), name);
    ok = key != 0 && SetValues(h, key, i);
    if (ok && i % 10 == 0) {
      const hive_node_h sub = hivex_node_add_child(h, key, "Sub");
      ok = sub != 0 && SetValues(h, sub, -i);
    }
  }
  ok = ok && hivex_commit(h, out, 0) == 0;
  for (int i = 0; i < keys && ok; ++i) {
    if (i % 4 == 0) continue;
    char name[16];
    std::snprintf(name, sizeof name, "Key%05d", i);
    const hive_node_h key = hivex_node_get_child(h, hivex_root(h), name);
    ok = key != 0 && hivex_node_delete_child(h, key) == 0;
  }
  ok = ok && hivex_commit(h, out, 0) == 0;
  if (!ok) std::fprintf(stderr, "%s: hivex failed: %s\n", out, std::strerror(errno));
  if (hivex_close(h) != 0) ok = false;
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string cmd = argc > 1 ? argv[1] : "";
  if (cmd == "fragmented" && argc == 5) {
    const int keys = std::atoi(argv[4]);
    if (keys < 1 || keys > 100000) return 2;
    return Fragmented(argv[2], argv[3], keys);
  }
  if (cmd == "compare" && argc == 4) {
    std::string difference;
    if (hs::SameHiveContents(argv[2], argv[3], &difference)) return 0;
    std::printf("%s\n", difference.c_str());
    return 1;
  }
  std::fprintf(stderr, "usage: hs_hive_fixture fragmented OUT ROOT KEYS | compare A B\n");
  return 2;
}
