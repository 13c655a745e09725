#include "engine/archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <random>

// Records the largest heap request made while g_track is set, so tests can
// show that the reader allocates in proportion to its input and not to the
// lengths the input claims. (Replaces the global allocation functions of this
// test executable; they only count.)
namespace {
std::atomic<bool> g_track{false};
std::atomic<std::size_t> g_largest{0};

void* Allocate(std::size_t n) {
  if (g_track.load(std::memory_order_relaxed)) {
    std::size_t prev = g_largest.load();
    while (n > prev && !g_largest.compare_exchange_weak(prev, n)) {
    }
  }
  return std::malloc(n ? n : 1);
}
void* AllocateOrThrow(std::size_t n) {
  if (void* p = Allocate(n)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t n) { return AllocateOrThrow(n); }
void* operator new[](std::size_t n) { return AllocateOrThrow(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace hs {
namespace {

using Buf = std::vector<std::uint8_t>;

Buf Cat(Buf a, const Buf& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Tracked {
  Tracked() {
    g_largest = 0;
    g_track = true;
  }
  ~Tracked() { g_track = false; }
  std::size_t largest() const { return g_largest; }
};

TEST(ArchiveTest, NumbersAreLittleEndian) {
  ArchiveWriter w;
  w.U8(0x12);
  w.U16(0x3456);
  w.U32(0x789ABCDE);
  w.I32(-2);
  w.U64(0x0102030405060708);
  w.I64(-3);
  EXPECT_EQ(w.data(), (Buf{0x12, 0x56, 0x34, 0xDE, 0xBC, 0x9A, 0x78, 0xFE, 0xFF, 0xFF, 0xFF, 8, 7, 6, 5, 4,
                           3,    2,    1,    0xFD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  Buf b = w.Take();
  EXPECT_TRUE(w.data().empty());
  ArchiveReader r(b.data(), b.size());
  std::uint8_t u8 = 0;
  std::uint16_t u16 = 0;
  std::uint32_t u32 = 0;
  std::int32_t i32 = 0;
  std::uint64_t u64 = 0;
  std::int64_t i64 = 0;
  ASSERT_TRUE(r.U8(&u8) && r.U16(&u16) && r.U32(&u32) && r.I32(&i32) && r.U64(&u64) && r.I64(&i64));
  EXPECT_EQ(u8, 0x12);
  EXPECT_EQ(u16, 0x3456);
  EXPECT_EQ(u32, 0x789ABCDEu);
  EXPECT_EQ(i32, -2);
  EXPECT_EQ(u64, 0x0102030405060708u);
  EXPECT_EQ(i64, -3);
  EXPECT_TRUE(r.AtEnd());
}

TEST(ArchiveTest, StringLengthLadder) {
  struct Case {
    std::size_t len;
    Buf prefix;
  } cases[] = {
      {0, {0xFF, 0xFE, 0xFF, 0x00}},
      {3, {0xFF, 0xFE, 0xFF, 0x03}},
      {254, {0xFF, 0xFE, 0xFF, 0xFE}},
      {255, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x00}},
      {0xFFFD, {0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF}},
      {0xFFFE, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.len);
    Text s(c.len, u'x');
    ArchiveWriter w;
    w.String(s);
    ASSERT_TRUE(w.ok());
    ASSERT_EQ(w.data().size(), c.prefix.size() + 2 * c.len);
    EXPECT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), w.data().begin()));
    ArchiveReader r(w.data().data(), w.data().size());
    Text back;
    ASSERT_TRUE(r.String(&back));
    EXPECT_EQ(back, s);
    EXPECT_TRUE(r.AtEnd());
  }
  // Any UTF-16 units survive, including NUL and unpaired surrogates.
  const Text odd(u"\u20AC\0\xD800z\xDE00", 5);
  ArchiveWriter w;
  w.String(odd);
  EXPECT_EQ(w.data(), (Buf{0xFF, 0xFE, 0xFF, 5, 0xAC, 0x20, 0, 0, 0x00, 0xD8, 'z', 0, 0x00, 0xDE}));
  ArchiveReader r(w.data().data(), w.data().size());
  Text back;
  ASSERT_TRUE(r.String(&back));
  EXPECT_EQ(back, odd);
}

TEST(ArchiveTest, ReadsSingleByteAndLongLengthForms) {
  struct Case {
    Buf in;
    Text want;
  } cases[] = {
      {{5, 'H', 'e', 'l', 'l', 'o'}, u"Hello"},
      {{3, 0x80, 0x9F, 0xE9}, u"\u20AC\u0178\u00E9"},  // code page 1252
      {Cat({0xFF, 0x2C, 0x01}, Buf(300, 'a')), Text(300, u'a')},
      {{0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 'o', 'k'}, u"ok"},
      // UTF-16 with a needlessly long 64-bit length.
      {{0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 0, 0, 0, 0, 'h', 0, 'i', 0}, u"hi"},
  };
  for (const Case& c : cases) {
    ArchiveReader r(c.in.data(), c.in.size());
    Text s;
    EXPECT_TRUE(r.String(&s)) << r.error();
    EXPECT_EQ(s, c.want);
    EXPECT_TRUE(r.AtEnd());
  }
}

TEST(ArchiveTest, RejectsBadStringLengthsWithoutAllocating) {
  struct Case {
    Buf in;
    WinError code;
  } cases[] = {
      {{0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF, 0}, err::kInvalidData},                // second marker
      {{0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}, err::kInvalidData},             // 4 G single bytes
      {{0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}, err::kInvalidData},  // 4 G units
      {Cat({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, Buf(8, 0xFF)), err::kInvalidData},
      {{0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 1}, err::kHandleEof},  // at the limit, no text
      {{0xFF, 0xFE, 0xFF, 5, 'a', 0}, err::kHandleEof},
      {{0xFF, 0xFE}, err::kHandleEof},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.in));
    ArchiveReader r(c.in.data(), c.in.size());
    Text s = u"keep";
    {
      Tracked t;
      EXPECT_FALSE(r.String(&s));
      EXPECT_LT(t.largest(), 256u);
    }
    EXPECT_EQ(r.error_code(), c.code);
    EXPECT_EQ(r.offset(), 0u);
    EXPECT_EQ(r.error().rfind("archive offset 0: ", 0), 0u) << r.error();
    EXPECT_EQ(s, u"keep");
  }
}

TEST(ArchiveTest, WriterRefusesWhatReaderWouldReject) {
  ArchiveWriter w;
  w.String(Text(kArchiveMaxStringChars + 1, u'x'));
  EXPECT_FALSE(w.ok());
  EXPECT_TRUE(w.data().empty());
  ArchiveWriter c;
  c.Count(kArchiveMaxCount + 1);
  EXPECT_FALSE(c.ok());
  EXPECT_TRUE(c.data().empty());
}

TEST(ArchiveTest, CountBoundariesAndRemainingBytes) {
  struct Case {
    std::uint64_t n;
    Buf bytes;
  } cases[] = {
      {0, {0, 0}},
      {0xFFFE, {0xFE, 0xFF}},
      {0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0}},
      {0x10000, {0xFF, 0xFF, 0, 0, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    ArchiveWriter w;
    w.Count(c.n);
    EXPECT_EQ(w.data(), c.bytes);
    // A count of n needs n bytes after it (elements are at least one byte).
    Buf enough = Cat(w.data(), Buf(c.n, 0));
    ArchiveReader r(enough.data(), enough.size());
    std::uint64_t n = 99;
    EXPECT_TRUE(r.Count(&n));
    EXPECT_EQ(n, c.n);
    if (c.n == 0) continue;
    ArchiveReader shortr(enough.data(), enough.size() - 1);
    EXPECT_FALSE(shortr.Count(&n));
    EXPECT_EQ(shortr.error_code(), err::kHandleEof);
  }
  Buf eight = {4, 0, 1, 2, 3, 4, 5, 6, 7, 8};
  std::uint64_t n = 0;
  ArchiveReader two(eight.data(), eight.size());
  EXPECT_TRUE(two.Count(&n, 2));
  ArchiveReader three(eight.data(), eight.size());
  EXPECT_FALSE(three.Count(&n, 3));
  Buf huge = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  ArchiveReader r(huge.data(), huge.size());
  EXPECT_FALSE(r.Count(&n, 0));
  EXPECT_EQ(r.error_code(), err::kInvalidData);
}

TEST(ArchiveTest, StringArrays) {
  const std::vector<Text> items = {u"", u"a", Text(300, u'b')};
  ArchiveWriter w;
  w.StringArray({});
  w.StringArray({u"a"});
  w.StringArray(items);
  EXPECT_TRUE(std::equal(w.data().begin(), w.data().begin() + 10, Buf{0, 0, 1, 0, 0xFF, 0xFE, 0xFF, 1, 'a', 0}.begin()));
  ArchiveReader r(w.data().data(), w.data().size());
  std::vector<Text> a, b, c;
  ASSERT_TRUE(r.StringArray(&a) && r.StringArray(&b) && r.StringArray(&c));
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(b, std::vector<Text>{u"a"});
  EXPECT_EQ(c, items);
  EXPECT_TRUE(r.AtEnd());

  // Single-byte empty strings are one byte each.
  Buf empties = {3, 0, 0, 0, 0};
  ArchiveReader e(empties.data(), empties.size());
  ASSERT_TRUE(e.StringArray(&a)) << e.error();
  EXPECT_EQ(a, (std::vector<Text>{u"", u"", u""}));

  Buf claims = {5, 0, 0, 0, 0, 0};
  ArchiveReader f(claims.data(), claims.size());
  EXPECT_FALSE(f.StringArray(&a));
  EXPECT_EQ(a.size(), 3u);  // unchanged
}

TEST(ArchiveTest, TimeNeedsItsMarker) {
  ArchiveWriter w;
  w.Time(-86400);
  EXPECT_EQ(w.data(), (Buf{0x0A, 0, 0, 0x80, 0x80, 0xAE, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  ArchiveReader r(w.data().data(), w.data().size());
  std::int64_t t = 0;
  ASSERT_TRUE(r.Time(&t));
  EXPECT_EQ(t, -86400);

  Buf wrong = {7, 0x0B, 0, 0, 0x80, 1, 0, 0, 0, 0, 0, 0, 0};
  ArchiveReader bad(wrong.data(), wrong.size());
  std::uint8_t b = 0;
  ASSERT_TRUE(bad.U8(&b));
  EXPECT_FALSE(bad.Time(&t));
  EXPECT_EQ(bad.offset(), 1u);
  EXPECT_EQ(bad.error_code(), err::kInvalidData);
  EXPECT_EQ(bad.error(), "archive offset 1: time marker missing (found 0x8000000B)");
}

TEST(ArchiveTest, ErrorsAreSticky) {
  Buf in = {1, 2, 3};
  ArchiveReader r(in.data(), in.size());
  std::uint32_t u32 = 0;
  std::uint8_t u8 = 0;
  std::vector<std::uint8_t> bytes;
  EXPECT_FALSE(r.U32(&u32));
  EXPECT_EQ(r.error_code(), err::kHandleEof);
  const std::string first = r.error();
  EXPECT_FALSE(r.U8(&u8));  // bytes remain, but the reader has failed
  EXPECT_FALSE(r.Bytes(0, &bytes));
  r.Fail("later");
  EXPECT_EQ(r.error(), first);
  EXPECT_EQ(r.offset(), 0u);
  EXPECT_FALSE(r.AtEnd());

  ArchiveReader c(in.data(), in.size());
  ASSERT_TRUE(c.Bytes(2, &bytes));
  EXPECT_EQ(bytes, (Buf{1, 2}));
  EXPECT_FALSE(c.Bytes(2, &bytes));
  ArchiveReader d(in.data(), in.size());
  ASSERT_TRUE(d.U8(&u8));
  d.Fail("kind 1 is unknown");
  EXPECT_EQ(d.error(), "archive offset 1: kind 1 is unknown");
  EXPECT_EQ(d.error_code(), err::kInvalidData);
}

Buf SampleRecord() {
  ArchiveWriter w;
  w.U8(1);
  w.U16(2);
  w.I32(-3);
  w.U64(4);
  w.String(u"name");
  w.String(Text(300, u'v'));
  w.StringArray({u"a", u"", u"bc"});
  w.Count(2);
  w.Bytes(reinterpret_cast<const std::uint8_t*>("xy"), 2);
  w.Time(1700000000);
  return w.Take();
}

// Reads what SampleRecord wrote; true when all of it was read.
bool ReadSample(ArchiveReader& r) {
  std::uint8_t u8;
  std::uint16_t u16;
  std::int32_t i32;
  std::uint64_t u64, n;
  std::int64_t t;
  Text s1, s2;
  std::vector<Text> arr;
  Buf bytes;
  return r.U8(&u8) && r.U16(&u16) && r.I32(&i32) && r.U64(&u64) && r.String(&s1) && r.String(&s2) &&
         r.StringArray(&arr) && r.Count(&n) && r.Bytes(n, &bytes) && r.Time(&t) && r.AtEnd();
}

TEST(ArchiveTest, EveryTruncationFails) {
  const Buf full = SampleRecord();
  ArchiveReader whole(full.data(), full.size());
  ASSERT_TRUE(ReadSample(whole)) << whole.error();
  for (std::size_t len = 0; len < full.size(); ++len) {
    Buf prefix(full.begin(), full.begin() + len);  // own allocation: overreads are caught
    ArchiveReader r(prefix.data(), prefix.size());
    EXPECT_FALSE(ReadSample(r)) << len;
    EXPECT_EQ(r.error_code(), err::kHandleEof) << len << ": " << r.error();
    EXPECT_LE(r.offset(), len);
  }
}

TEST(ArchiveTest, FuzzedInputFailsCleanly) {
  std::mt19937 rng(20240611);
  const Buf sample = SampleRecord();
  auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
  const std::uint8_t interesting[] = {0x00, 0x01, 0x0A, 0x80, 0xFE, 0xFF};
  for (int iter = 0; iter < 4000; ++iter) {
    Buf in;
    if (iter % 2 == 0) {
      in.resize(pick(48));
      for (auto& b : in) b = pick(2) ? interesting[pick(6)] : static_cast<std::uint8_t>(rng());
    } else {
      in = sample;
      for (std::uint32_t m = 1 + pick(4); m > 0; --m) in[pick(in.size())] = interesting[pick(6)];
      in.resize(pick(in.size() + 1));
    }
    ArchiveReader r(in.data(), in.size());
    std::size_t largest = 0;
    {
      Tracked t;
      for (int op = 0; op < 32 && r.ok() && !r.AtEnd(); ++op) {
        Text s;
        std::vector<Text> arr;
        Buf bytes;
        std::uint64_t n;
        std::int64_t v;
        std::uint32_t u;
        switch (pick(6)) {
          case 0: (void)r.String(&s); break;
          case 1: (void)r.StringArray(&arr); break;
          case 2: (void)r.Count(&n); break;
          case 3: (void)r.Time(&v); break;
          case 4: (void)r.Bytes(pick(16), &bytes); break;
          default: (void)r.U32(&u); break;
        }
      }
      largest = t.largest();
    }
    ASSERT_LE(largest, 64 * in.size() + 256) << "iteration " << iter;
    ASSERT_LE(r.offset(), in.size());
    if (!r.ok()) {
      ASSERT_EQ(r.error().rfind("archive offset ", 0), 0u);
      ASSERT_NE(r.error_code(), err::kSuccess);
      const std::size_t at = r.offset();
      std::uint8_t b;
      ASSERT_FALSE(r.U8(&b));
      ASSERT_EQ(r.offset(), at);
    }
  }
}

}  // namespace
}  // namespace hs
