// The COM registrations and file types areas on the build's registry and
// file system, with entries seeded under unique names in both views of
// 64-bit Windows. The views split CLSID and Interface but share AppID,
// TypeLib and the file types: a fault in a shared key is reported once, by
// the 64-bit pass; one in a split key by the pass of its view, the 32-bit
// one under "HKEY_CLASSES_ROOT\Wow6432Node\".
#include <gtest/gtest.h>

#include "areas/activex.h"
#include "areas/file_types.h"
#include "testing/area_fixture.h"

namespace hs {
namespace {

using ::hs::testing::AreaFixture;

constexpr std::uint32_t kComBit = 0x0001, kTypesBit = 0x0004;
const Text kCr = u"HKEY_CLASSES_ROOT\\";
const Text kCrWow = u"HKEY_CLASSES_ROOT\\Wow6432Node\\";

std::vector<bool> Views(AreaFixture& fx) {
  return fx.windows64() ? std::vector<bool>{true, false} : std::vector<bool>{true};
}
Text Tag(bool view64) { return view64 ? u"-64" : u"-32"; }

struct Expected {
  int type;
  Text path;  // below HKEY_CLASSES_ROOT
  Text value_name;
  Text data;
  std::vector<Text> details;  // empty: not compared
};

// A fault seeded in a view is reported exactly once: by the pass of that
// view when the other view does not show the key, else by the 64-bit pass.
void ExpectReported(AreaFixture& fx, std::uint32_t bit, const Expected& e, bool view64, bool wow_prefix) {
  SCOPED_TRACE(ToUtf8(e.path) + (view64 ? " 64" : " 32"));
  const bool shared = fx.windows64() && fx.Visible(kHkeyClassesRoot, e.path, !view64);
  const bool as64 = !fx.windows64() || view64 || shared;
  const Text key = (as64 || !wow_prefix ? kCr : kCrWow) + e.path;
  const CProblem* p = fx.FindIn(bit, key, e.value_name, as64);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(e.type, p->entry_type);
  EXPECT_EQ(e.data, p->value_data);
  if (!e.details.empty()) {
    EXPECT_EQ(e.details, p->details);
  }
  std::size_t same = 0;
  for (const auto& q : fx.manager().AreaByBit(bit)->problems())
    if (q->entry_type == e.type && q->key.find(e.path) != Text::npos) {
      ++same;
    }
  EXPECT_EQ(1u, same) << "reported once";
}

void ExpectNothingFor(AreaFixture& fx, std::uint32_t bit, const Text& fragment) {
  for (const auto& p : fx.manager().AreaByBit(bit)->problems())
    EXPECT_TRUE(p->key.find(fragment) == Text::npos) << ToUtf8(p->key) << " type " << p->entry_type;
}

int ScanArea(AreaFixture& fx, std::uint32_t bit, bool skip_empty) {
  fx.context().skip_empty_keys = skip_empty;
  fx.manager().CreateAreas(bit, 1);
  return bit == kComBit ? fx.area<CActiveX>(bit).Scan() : fx.area<CFileTypes>(bit).Scan();
}

TEST(ActiveXArea, EveryEntryTypeInEveryView) {
  AreaFixture fx;
  const RegKey cr = kHkeyClassesRoot;
  std::vector<std::pair<bool, Expected>> expected;
  std::vector<Text> valid;
  for (bool v : Views(fx)) {
    const Text n = fx.name() + Tag(v);
    const Text cls = u"CLSID\\{" + n + u"}";
    const Text gone = fx.Path(u"Com" + Tag(v) + u"\\gone.dll");
    const Text ok = fx.Path(u"Com" + Tag(v) + u"\\ok.dll");
    fx.Put(ok);
    fx.Sz(cr, cls, v, u"", u"Widget " + n);
    fx.Sz(cr, cls + u"\\InprocServer32", v, u"", gone);
    fx.Sz(cr, cls + u"\\InprocServer32", v, u"ThreadingModel", u"Both");
    fx.Dword(cr, cls + u"\\LocalServer32", v, u"", 7);
    fx.Sz(cr, cls, v, u"AppID", u"{" + n + u"-noapp}");
    fx.Key(cr, cls + u"\\ProgID", v);
    fx.Sz(cr, cls + u"\\TypeLib", v, u"", u"{" + n + u"-nolib}");
    fx.Sz(cr, cls + u"\\DefaultIcon", v, u"", u"");
    fx.Key(cr, cls + u"\\ShellEx\\ContextMenuHandlers\\{" + n + u"-h1}", v);
    fx.Sz(cr, cls + u"\\ShellEx\\ContextMenuHandlers\\Named", v, u"", u"{" + n + u"-h2}");
    fx.Sz(cr, cls + u"\\ToolboxBitmap32", v, u"", gone + u", 1");
    const Text w = u"Widget " + n;
    expected.push_back({v, {0, cls + u"\\InprocServer32", u"", gone, {w, u"InprocServer32"}}});
    expected.push_back({v, {1, cls + u"\\LocalServer32", u"", u"", {w, u"LocalServer32"}}});
    expected.push_back({v, {2, cls, u"AppID", u"{" + n + u"-noapp}", {w}}});
    expected.push_back({v, {1, cls + u"\\ProgID", u"", u"", {w, u"ProgID"}}});
    expected.push_back({v, {3, cls + u"\\TypeLib", u"", u"{" + n + u"-nolib}", {w}}});
    expected.push_back({v, {4, cls + u"\\DefaultIcon", u"", u"", {w}}});
    expected.push_back({v,
                        {5, cls + u"\\ShellEx\\ContextMenuHandlers\\{" + n + u"-h1}", u"", u"{" + n + u"-h1}",
                         {w, u"HKEY_CLASSES_ROOT\\CLSID\\{" + n + u"-h1}", u"{" + n + u"-h1}"}}});
    expected.push_back({v,
                        {5, cls + u"\\ShellEx\\ContextMenuHandlers\\Named", u"", u"{" + n + u"-h2}",
                         {w, u"HKEY_CLASSES_ROOT\\CLSID\\{" + n + u"-h2}", u"{" + n + u"-h2}"}}});
    expected.push_back({v, {42, cls + u"\\ToolboxBitmap32", u"", gone + u", 1", {w, u"ToolboxBitmap32"}}});

    // A class without a name is named by its identifier; an empty bitmap key.
    const Text bare = u"CLSID\\{" + n + u"-bare}";
    fx.Sz(cr, bare + u"\\ToolboxBitmap32", v, u"", u"");
    expected.push_back({v, {1, bare + u"\\ToolboxBitmap32", u"", u"", {u"{" + n + u"-bare}", u"ToolboxBitmap32"}}});

    // Valid: present servers (quoted, with arguments, bare names on the
    // search path), a type library name without braces, a handler whose
    // class is registered only in the other view.
    const Text good = u"CLSID\\{" + n + u"-good}";
    fx.Sz(cr, good + u"\\InprocServer32", v, u"", ok);
    fx.Sz(cr, good + u"\\LocalServer32", v, u"", u"\"" + ok + u"\" /automation");
    fx.Sz(cr, good + u"\\InprocHandler32", v, u"", u"msiexec.exe");
    fx.Sz(cr, good + u"\\TypeLib", v, u"", u"not-a-guid");
    fx.Sz(cr, good + u"\\DefaultIcon", v, u"", ok + u",0");
    fx.Sz(cr, good + u"\\ProgID", v, u"", u"Widget.Good");
    fx.Sz(cr, good + u"\\ToolboxBitmap32", v, u"", ok + u", 2");
    const Text other = u"{" + n + u"-other}";
    fx.Sz(cr, u"CLSID\\" + other, fx.windows64() ? !v : v, u"", u"other view");
    fx.Key(cr, good + u"\\ShellEx\\ContextMenuHandlers\\" + other, v);
    fx.Sz(cr, good + u"\\ShellEx\\ContextMenuHandlers\\ByValue", v, u"", other);
    valid.push_back(u"{" + n + u"-good}");

    // Program-name entries below AppID; a braced one is not examined.
    fx.Sz(cr, u"AppID\\" + n + u".exe", v, u"AppID", u"{" + n + u"-noapp2}");
    fx.Sz(cr, u"AppID\\{" + n + u"-braced}", v, u"AppID", u"{" + n + u"-noapp3}");
    fx.Sz(cr, u"AppID\\{" + n + u"-app}", v, u"", u"app");
    fx.Sz(cr, u"AppID\\" + n + u"-ok.exe", v, u"AppID", u"{" + n + u"-app}");
    expected.push_back({v, {6, u"AppID\\" + n + u".exe", u"AppID", u"{" + n + u"-noapp2}", {n + u".exe"}}});
    valid.push_back(u"AppID\\{" + n + u"-braced}");
    valid.push_back(n + u"-ok.exe");

    // Type libraries.
    const Text lib = u"TypeLib\\{" + n + u"-lib}";
    fx.Sz(cr, lib + u"\\1.0", v, u"", u"Widget Library");
    fx.Sz(cr, lib + u"\\1.0\\0\\win32", v, u"", gone);
    fx.Key(cr, lib + u"\\1.0\\HELPDIR", v);
    fx.Sz(cr, lib + u"\\2.0\\409\\win32", v, u"", u"");
    fx.Sz(cr, lib + u"\\2.0\\HELPDIR", v, u"", fx.Path(u"NoHelp" + Tag(v)));
    expected.push_back({v, {7, lib + u"\\1.0\\0\\win32", u"", gone, {u"Widget Library", u"1.0\\0\\win32"}}});
    expected.push_back({v, {8, lib + u"\\1.0\\HELPDIR", u"", u"", {u"Widget Library", u"1.0\\HELPDIR"}}});
    expected.push_back({v, {9, lib + u"\\2.0\\409\\win32", u"", u"", {u"{" + n + u"-lib}", u"2.0\\409\\win32"}}});
    expected.push_back({v,
                        {10, lib + u"\\2.0\\HELPDIR", u"", fx.Path(u"NoHelp" + Tag(v)),
                         {u"{" + n + u"-lib}", u"2.0\\HELPDIR"}}});
    if (fx.windows64()) {
      fx.Sz(cr, lib + u"\\1.0\\0\\win64", v, u"", gone);
      expected.push_back({v, {7, lib + u"\\1.0\\0\\win64", u"", gone, {u"Widget Library", u"1.0\\0\\win64"}}});
    }
    const Text goodlib = u"TypeLib\\{" + n + u"-goodlib}";
    fx.Sz(cr, goodlib + u"\\1.0\\0\\win32", v, u"", ok + u"\\3");
    fx.Sz(cr, goodlib + u"\\1.1\\0\\win32", v, u"", u"msiexec.exe");
    fx.Sz(cr, goodlib + u"\\1.0\\HELPDIR", v, u"", fx.root());
    fx.Sz(cr, goodlib + u"\\1.0\\HELPDIR", v, u"Extra", u"1");
    fx.Sz(cr, goodlib + u"\\1.1\\HELPDIR", v, u"", u"\"" + fx.root() + u"\\\"");
    valid.push_back(u"{" + n + u"-goodlib}");

    // Interfaces.
    const Text itf = u"Interface\\{" + n + u"-if}";
    fx.Sz(cr, itf, v, u"", u"IWidget");
    fx.Sz(cr, itf + u"\\ProxyStubClsid32", v, u"", u"{" + n + u"-ps}");
    fx.Sz(cr, itf + u"\\TypeLib", v, u"", u"{" + n + u"-nolib}");
    fx.Sz(cr, itf + u"\\TypeLib", v, u"Version", u"1.0");
    expected.push_back({v, {11, itf + u"\\ProxyStubClsid32", u"", u"{" + n + u"-ps}", {u"IWidget"}}});
    expected.push_back({v, {12, itf + u"\\TypeLib", u"", u"{" + n + u"-nolib}", {u"IWidget"}}});
    const Text goodif = u"Interface\\{" + n + u"-goodif}";
    fx.Sz(cr, goodif + u"\\ProxyStubClsid32", v, u"", other);
    fx.Sz(cr, goodif + u"\\TypeLib", v, u"", u"{" + n + u"-goodlib}");
    valid.push_back(u"{" + n + u"-goodif}");
  }

  EXPECT_EQ(1, ScanArea(fx, kComBit, false));
  for (const auto& [v, e] : expected) ExpectReported(fx, kComBit, e, v, true);
  for (const Text& f : valid) ExpectNothingFor(fx, kComBit, f);
  // Nothing else of ours (no empty-key reports below the seeded libraries:
  // their identifiers are not classes and interfaces as well).
  EXPECT_EQ(expected.size(), fx.OwnCount(kComBit));
  for (const auto& p : fx.manager().AreaByBit(kComBit)->problems()) {
    if (p->key.find(fx.name()) == Text::npos) continue;
    EXPECT_EQ(p->entry32 != 0, p->key.rfind(kCrWow, 0) == 0) << ToUtf8(p->key);
  }

  // With empty keys skipped only the empty bitmap key stays among the type 1.
  EXPECT_EQ(1, ScanArea(fx, kComBit, true));
  std::size_t empty = 0;
  for (const auto& p : fx.manager().AreaByBit(kComBit)->problems())
    if (p->key.find(fx.name()) != Text::npos && p->entry_type == 1) {
      ++empty;
      EXPECT_NE(Text::npos, p->key.find(u"\\ToolboxBitmap32")) << ToUtf8(p->key);
    }
  EXPECT_EQ(Views(fx).size(), empty);
}

TEST(ActiveXArea, CancelledScanReportsNothingMore) {
  AreaFixture fx;
  fx.Sz(kHkeyClassesRoot, u"CLSID\\{" + fx.name() + u"}\\InprocServer32", true, u"", fx.Path(u"gone.dll"));
  fx.context().skip_empty_keys = false;
  fx.manager().CreateAreas(kComBit, 1);
  fx.manager().Cancel();
  EXPECT_EQ(2, fx.area<CActiveX>(kComBit).Scan());
  EXPECT_EQ(0u, fx.OwnCount(kComBit));
}

#ifndef _WIN32
// 32-bit Windows: one pass without view flag, no "\win64" platform, and the
// class icon file is tested.
TEST(ActiveXArea, ThirtyTwoBitWindows) {
  AreaFixture fx(false);
  const Text cls = u"CLSID\\{" + fx.name() + u"}";
  const Text lib = u"TypeLib\\{" + fx.name() + u"-lib}";
  fx.Sz(kHkeyClassesRoot, cls, true, u"", u"Old Widget");
  fx.Sz(kHkeyClassesRoot, cls + u"\\DefaultIcon", true, u"", fx.Path(u"gone.ico") + u",0");
  fx.Sz(kHkeyClassesRoot, lib + u"\\1.0\\0\\win64", true, u"", fx.Path(u"gone.tlb"));
  fx.Sz(kHkeyClassesRoot, lib + u"\\1.0\\HELPDIR", true, u"", fx.root());
  EXPECT_EQ(1, ScanArea(fx, kComBit, false));
  const CProblem* icon = fx.FindIn(kComBit, kCr + cls + u"\\DefaultIcon", u"", true);
  ASSERT_NE(nullptr, icon);
  EXPECT_EQ(0, icon->entry_type);
  EXPECT_EQ(fx.Path(u"gone.ico") + u",0", icon->value_data);
  EXPECT_EQ((std::vector<Text>{u"Old Widget", u"DefaultIcon"}), icon->details);
  EXPECT_EQ(1u, fx.OwnCount(kComBit));
}
#endif

TEST(FileTypesArea, ExtensionsTypesVerbsIconsAndHandlers) {
  AreaFixture fx;
  const RegKey cr = kHkeyClassesRoot;
  const Text n = fx.name();
  const Text gone = fx.Path(u"Types\\gone.exe"), ok = fx.Path(u"Types\\ok.exe");
  fx.Put(ok);
  const Text ext = u"." + n, type = n + u"-TypeA", type2 = n + u"-TypeB", type3 = n + u"-TypeC";
  // Class identifiers: one missing, one registered only in the 32-bit view.
  const Text noclass = u"{" + n + u"-noclass}", c32 = u"{" + n + u"-c32}";
  fx.Sz(cr, u"CLSID\\" + c32, false, u"", u"32-bit class");

  fx.Sz(cr, ext + u"-a", true, u"", n + u".Missing");
  fx.Key(cr, ext + u"-b", true);
  fx.Sz(cr, ext + u"-c", true, u"", type);
  fx.Sz(cr, ext + u"-c\\CLSID", true, u"", noclass);
  fx.Key(cr, ext + u"-d\\shell", true);
  fx.Sz(cr, ext + u"-e", true, u"", type);
  fx.Sz(cr, ext + u"-e\\CLSID", true, u"", c32);
  fx.Sz(cr, ext + u"-f", true, u"", u"");
  fx.Sz(cr, ext + u"-f", true, u"Content Type", u"text/x-widget");

  fx.Sz(cr, type, true, u"", u"Widget Document");
  fx.Key(cr, type + u"\\CLSID", true);
  fx.Sz(cr, type + u"\\shell\\show\\command", true, u"", u"\"" + gone + u"\" \"%1\"");
  fx.Sz(cr, type + u"\\shell\\edit\\command", true, u"", u"");
  fx.Sz(cr, type + u"\\shell\\print\\command", true, u"DelegateExecute", u"{" + n + u"-de}");
  fx.Sz(cr, type + u"\\shell\\play\\command", true, u"", u"\"%1\" %*");
  fx.Sz(cr, type + u"\\shell\\run\\command", true, u"", u"\"" + ok + u"\" /run \"%1\"");
  fx.Key(cr, type + u"\\shell\\view", true);
  fx.Key(cr, type + u"\\shell\\drop\\DropTarget", true);
  fx.Sz(cr, type + u"\\shell\\dde\\ddeexec", true, u"", u"[Open(\"%1\")]");
  // An installer-advertised verb: no command line, a descriptor instead.
  fx.Set(cr, type + u"\\shell\\advertised\\command", true, u"command", kRegMultiSz,
         AreaFixture::Utf16z(u"w_K%9=Widget>M5KDYSUnf(HA*L[xeX)y"));
  fx.Sz(cr, type + u"\\DefaultIcon", true, u"", fx.Path(u"Types\\gone.ico") + u",1");
  fx.Key(cr, type + u"\\ShellEx\\ContextMenuHandlers\\{" + n + u"-braced}", true);
  fx.Sz(cr, type + u"\\ShellEx\\ContextMenuHandlers\\Named", true, u"", noclass);
  fx.Key(cr, type + u"\\ShellEx\\ContextMenuHandlers\\NoClass", true);
  fx.Sz(cr, type + u"\\ShellEx\\ContextMenuHandlers\\Other", true, u"", c32);

  fx.Sz(cr, type2, true, u"", u"");
  fx.Key(cr, type2 + u"\\shell", true);
  fx.Sz(cr, type2 + u"\\DefaultIcon", true, u"", u"%1");
  fx.Sz(cr, type3 + u"\\DefaultIcon", true, u"", u"");

  EXPECT_EQ(1, ScanArea(fx, kTypesBit, false));
  const auto d = [&](const Text& e) { return std::vector<Text>{Upcase(e) + u" file (*" + e + u")", e}; };
  const std::vector<Expected> expected = {
      {15, ext + u"-a", u"", n + u".Missing", d(ext + u"-a")},
      {16, ext + u"-b", u"", u"", d(ext + u"-b")},
      {19, ext + u"-c\\CLSID", u"", noclass, {}},
      {1, ext + u"-d\\shell", u"", u"", {}},
      {16, type + u"\\CLSID", u"", u"", {}},
      {21, type + u"\\shell\\show\\command", u"", u"\"" + gone + u"\" \"%1\"", {u"Widget Document", u"show"}},
      {21, type + u"\\shell\\edit\\command", u"", u"", {u"Widget Document", u"edit"}},
      {22, type + u"\\shell\\view", u"", u"", {u"Widget Document", u"view"}},
      {17, type + u"\\DefaultIcon", u"", fx.Path(u"Types\\gone.ico") + u",1", {}},
      {19, type + u"\\ShellEx\\ContextMenuHandlers\\Named", u"", noclass, {}},
      {20, type + u"\\ShellEx\\ContextMenuHandlers\\NoClass", u"", u"", {}},
      {22, type2 + u"\\shell", u"", u"", {type2, u"shell", u"shell1"}},
      {18, type3 + u"\\DefaultIcon", u"", u"", {type3}},
  };
  for (const Expected& e : expected) ExpectReported(fx, kTypesBit, e, true, false);
  EXPECT_EQ(expected.size(), fx.OwnCount(kTypesBit));
  for (const auto& p : fx.manager().AreaByBit(kTypesBit)->problems())
    EXPECT_EQ(0u, p->key.rfind(kCr, 0)) << ToUtf8(p->key);

  // Skipping empty keys: the empty extension is neither reported nor examined
  // further; a "shell" key without verbs is reported all the same.
  EXPECT_EQ(1, ScanArea(fx, kTypesBit, true));
  EXPECT_TRUE(fx.Find(kTypesBit, kCr + ext + u"-b").empty());
  EXPECT_TRUE(fx.Find(kTypesBit, kCr + type + u"\\shell\\view").empty());
  EXPECT_TRUE(fx.Find(kTypesBit, kCr + type + u"\\CLSID").empty());
  EXPECT_EQ(1u, fx.Find(kTypesBit, kCr + type2 + u"\\shell").size());
}

}  // namespace
}  // namespace hs
