// The strict layout walk that guards liblnk, and the reader refusing files
// whose declared sizes do not fit them.
#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "platform/portable/liblnk_shell_links.h"
#include "platform/portable/portable_shell_paths.h"
#include "platform/portable/shell_link_layout.h"
#include "testing/fixture_files.h"
#include "testing/scratch_fs.h"

#if defined(__SANITIZE_ADDRESS__)
// Under ASan any allocation above 1 GiB aborts this binary: a parser that
// allocates what a hostile file declares fails the run.
extern "C" const char* __asan_default_options() { return "max_allocation_size_mb=1024"; }
#endif

namespace hs {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Appends (or, with `at`, overwrites) little-endian fields of `width` bytes.
void Put(Bytes& b, int width, std::initializer_list<std::uint32_t> values) {
  for (std::uint32_t v : values)
    for (int i = 0; i < width; ++i) b.push_back((v >> (8 * i)) & 0xFF);
}
void Set(Bytes& b, std::size_t at, int width, std::uint32_t v) {
  for (int i = 0; i < width; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}

constexpr std::uint32_t kIdList = 0x01, kLinkInfo = 0x02, kName = 0x04, kUnicode = 0x80;

Bytes Header(std::uint32_t flags) {
  Bytes b;
  Put(b, 4, {0x4C, 0x00021401, 0, 0xC0, 0x46000000, flags});
  b.resize(76, 0);
  return b;
}

// A whole link: an item list of one 4-byte item; link information with a
// volume (empty label), the local path C:\App\x.exe and an empty suffix; a
// Unicode name "ab"; one 12-byte extra block; the terminal block.
constexpr std::size_t kIdListAt = 76, kLinkInfoAt = 76 + 2 + 6;
constexpr std::uint32_t kLinkInfoSize = 0x1C + 17 + 13 + 1;
Bytes WholeLink() {
  Bytes b = Header(kIdList | kLinkInfo | kName | kUnicode);
  Put(b, 2, {6, 4, 0x1234, 0});
  Put(b, 4, {kLinkInfoSize, 0x1C, 1, 0x1C, 0x1C + 17, 0, kLinkInfoSize - 1});
  Put(b, 4, {17, 3, 0, 16});
  b.push_back(0);
  const std::string path = "C:\\App\\x.exe";
  b.insert(b.end(), path.begin(), path.end());
  Put(b, 1, {0, 0});
  Put(b, 2, {2, 'a', 'b'});
  Put(b, 4, {12, 0xA0000099, 0, 0});
  return b;
}

// The 94-byte file of the fuzzing report: a header with link information
// that declares 0x96000000 bytes (2.5 GB).
Bytes HugeLinkInfo() {
  Bytes b = Header(kLinkInfo);
  Put(b, 4, {0x96000000, 0x1C, 1, 0x1C});
  Put(b, 2, {0x30});
  return b;
}

bool Fits(const Bytes& b) { return ShellLinkLayoutFits(b); }

TEST(ShellLinkLayout, CommittedShortcutsFitAndDamagedFilesDoNot) {
  for (const char* f : {"present.lnk", "args.lnk", "env.lnk", "folder.lnk", "gone.lnk", "nowhere.lnk", "unc.lnk"}) {
    Bytes b;
    ASSERT_TRUE(::hs::testing::ReadSourceFile(std::string("platform/contract/shortcuts/") + f, &b)) << f;
    EXPECT_TRUE(Fits(b)) << f;
  }
  // rel.lnk ends in string data read as a block of 0x430016 bytes.
  for (const char* f : {"notalink.lnk", "empty.lnk", "truncated.lnk", "rel.lnk"}) {
    Bytes b;
    ASSERT_TRUE(::hs::testing::ReadSourceFile(std::string("platform/contract/shortcuts/") + f, &b)) << f;
    EXPECT_FALSE(Fits(b)) << f;
  }
  EXPECT_TRUE(Fits(WholeLink()));
}

TEST(ShellLinkLayout, DeclaredSizesPastTheEndAreRefused) {
  const Bytes huge = HugeLinkInfo();
  EXPECT_EQ(94u, huge.size());
  EXPECT_FALSE(Fits(huge));

  const Bytes whole = WholeLink();
  const std::size_t info_size = kLinkInfoSize;
  const std::size_t name_at = kLinkInfoAt + info_size;
  const std::size_t block_at = name_at + 6;
  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t value;
    int bytes;
  };
  const Case cases[] = {
      {"item list size past the end", kIdListAt, 0xFFFF, 2},
      {"item size past the list", kIdListAt + 2, 7, 2},
      {"link info size past the end", kLinkInfoAt, static_cast<std::uint32_t>(whole.size()), 4},
      {"link info smaller than its header", kLinkInfoAt, 0x1B, 4},
      {"link info header between sizes", kLinkInfoAt + 4, 0x20, 4},
      {"volume offset outside the link info", kLinkInfoAt + 12, static_cast<std::uint32_t>(info_size), 4},
      {"volume size past the link info", kLinkInfoAt + 0x1C, 0x1000, 4},
      {"local path offset outside the link info", kLinkInfoAt + 16, static_cast<std::uint32_t>(info_size), 4},
      {"string count past the end", name_at, 0xFFFF, 2},
      {"block size past the end", block_at, 0x1000, 4},
      {"block smaller than its header", block_at, 6, 4},
  };
  ASSERT_EQ(whole.size(), block_at + 12 + 4);
  for (const Case& c : cases) {
    Bytes b = whole;
    Set(b, c.at, c.bytes, c.value);
    EXPECT_FALSE(Fits(b)) << c.what;
  }
}

TEST(ShellLinkLayout, CutsInsideAPartAreRefused) {
  Bytes whole;
  ASSERT_TRUE(::hs::testing::ReadSourceFile("platform/contract/shortcuts/present.lnk", &whole));
  // Only the cut that drops just the terminal block leaves whole parts.
  for (std::size_t n = 0; n < whole.size(); ++n)
    EXPECT_EQ(n == whole.size() - 4, Fits(Bytes(whole.begin(), whole.begin() + n))) << n;
}

TEST(ShellLinkLayout, RandomDamageIsWalkedWithinTheBytes) {
  // Out-of-bounds reads fail this under ASan (each case is its own buffer).
  Bytes base;
  ASSERT_TRUE(::hs::testing::ReadSourceFile("platform/contract/shortcuts/env.lnk", &base));
  std::mt19937 rng(18);
  int fit = 0;
  for (int i = 0; i < 4000; ++i) {
    Bytes b = base;
    for (int k = rng() % 4 + 1; k > 0; --k) b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
    if (rng() % 4 == 0) b.resize(rng() % b.size());
    b.shrink_to_fit();
    fit += Fits(b);
  }
  EXPECT_GT(fit, 0) << "damage away from sizes keeps the layout";
}

TEST(LiblnkShellLinks, FilesWithSizesPastTheEndHaveNoTarget) {
  ::hs::testing::ScratchFs scratch("hs-lnk");
  ShellMachine m;
  m.drives = {{u'C', drive_type::kFixed}};
  PortableShellPaths shell(scratch.fs(), m);
  LiblnkShellLinks links(scratch.fs(), shell);
  auto target = [&](const Bytes& b) {
    const Text path = scratch.Path(u"t.lnk");
    EXPECT_EQ(err::kSuccess, scratch.fs().WriteFileAtomic(path, b));
    return links.TargetPath(path);
  };
  EXPECT_EQ(u"C:\\App\\x.exe", target(WholeLink()));
  EXPECT_EQ(u"", target(HugeLinkInfo()));
  Bytes cut = WholeLink();
  cut.resize(cut.size() - 10);  // the extra block's size now points past the end
  EXPECT_EQ(u"", target(cut));
}

}  // namespace
}  // namespace hs
