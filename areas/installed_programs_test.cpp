// The application paths, installed software and shared files areas on the
// build's registry and file system, with entries seeded under unique names
// in both views of 64-bit Windows (the views share some keys: a problem is
// expected in every view that shows its key).
#include <gtest/gtest.h>

#include "areas/app_paths.h"
#include "areas/shared_files.h"
#include "areas/software.h"
#include "testing/area_fixture.h"

namespace hs {
namespace {

using ::hs::testing::AreaFixture;

constexpr std::uint32_t kAppPathsBit = 0x0002, kSharedBit = 0x0040, kSoftwareBit = 0x0100;
const Text kLm = u"HKEY_LOCAL_MACHINE\\";
const Text kCu = u"HKEY_CURRENT_USER\\";
const Text kAppPaths = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const Text kApplications = u"SOFTWARE\\Classes\\Applications\\";
const Text kUninstall = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const Text kArpCache = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\";
const Text kFolders = u"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders";
const Text kSharedDlls = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const Text kApproved = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

std::vector<bool> Views(AreaFixture& fx) {
  return fx.windows64() ? std::vector<bool>{true, false} : std::vector<bool>{true};
}
Text Suffix(bool view64) { return view64 ? u"-64" : u"-32"; }

// The problem of a machine key found in the view it was seeded in, with its
// fields; in the other view exactly when that view shows the key too (or,
// for the value lists, the value).
void ExpectFound(AreaFixture& fx, std::uint32_t bit, const Text& seeded, const Text& reported, const Text& value_name,
                 bool view64, int type, const Text& data, const std::vector<Text>& details, bool by_value = false) {
  SCOPED_TRACE(ToUtf8(reported) + " " + ToUtf8(value_name) + (view64 ? " 64" : " 32"));
  const CProblem* p = fx.FindIn(bit, kLm + reported, value_name, view64);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(type, p->entry_type);
  EXPECT_EQ(data, p->value_data);
  EXPECT_EQ(details, p->details);
  if (fx.windows64()) {
    EXPECT_EQ(by_value ? fx.ValueVisible(kHkeyLocalMachine, seeded, value_name, !view64)
                       : fx.Visible(kHkeyLocalMachine, seeded, !view64),
              fx.FindIn(bit, kLm + reported, value_name, !view64) != nullptr);
  }
}

// No problem of the area names `name` in its key or value name.
void ExpectNothingFor(AreaFixture& fx, std::uint32_t bit, const Text& name) {
  for (const auto& p : fx.manager().AreaByBit(bit)->problems())
    EXPECT_TRUE(p->key.find(name) == Text::npos && p->value_name.find(name) == Text::npos)
        << ToUtf8(p->key) << " " << ToUtf8(p->value_name);
}

TEST(AppPathsArea, MissingProgramsPerRootAndView) {
  AreaFixture fx;
  fx.Put(fx.Path(u"App\\ok.exe"));
  const Text gone = fx.name() + u"-gone.exe", gone32 = fx.name() + u"-gone32.exe";
  const Text missing = fx.Path(u"App\\gone.exe");
  fx.Sz(kHkeyLocalMachine, kAppPaths + gone, true, u"", missing);
  fx.Sz(kHkeyCurrentUser, kAppPaths + gone, true, u"", missing);
  fx.Sz(kHkeyLocalMachine, kAppPaths + gone32, false, u"", missing);
  // Valid: quoted, through variables, bare names on the search path, and
  // through the other view's system folder.
  fx.Sz(kHkeyLocalMachine, kAppPaths + fx.name() + u"-quoted.exe", true, u"", u"\"" + fx.Path(u"App\\ok.exe") + u"\"");
  fx.Sz(kHkeyLocalMachine, kAppPaths + fx.name() + u"-env.exe", true, u"", u"%SystemRoot%\\system32\\msiexec.exe");
  fx.Sz(kHkeyLocalMachine, kAppPaths + fx.name() + u"-bare.exe", false, u"", u"msiexec.exe");
  if (fx.windows64()) {
    fx.Put(u"C:\\Windows\\SysWOW64\\" + fx.name() + u".exe");
    fx.Sz(kHkeyLocalMachine, kAppPaths + fx.name() + u"-swap.exe", false, u"",
          u"C:\\Windows\\System32\\" + fx.name() + u".exe");
  }

  EXPECT_EQ(1, fx.area<CAppPaths>(kAppPathsBit).Scan());

  ExpectFound(fx, kAppPathsBit, kAppPaths + gone, kAppPaths + gone, u"", true, 13, missing, {gone});
  ExpectFound(fx, kAppPathsBit, kAppPaths + gone32, kAppPaths + gone32, u"", false, 13, missing, {gone32});
  const auto user = fx.Find(kAppPathsBit, kCu + kAppPaths + gone);
  ASSERT_EQ(1u, user.size()) << "the user's registrations are walked once";
  EXPECT_EQ(13, user[0]->entry_type);
  EXPECT_EQ(0, user[0]->entry32);
  for (const char16_t* ok : {u"-quoted.exe", u"-env.exe", u"-bare.exe", u"-swap.exe"})
    ExpectNothingFor(fx, kAppPathsBit, fx.name() + ok);
}

TEST(AppPathsArea, EmptyDefaultValuesAndKeysWithoutValues) {
  AreaFixture fx;
  const Text in_folder = fx.name() + u"-infolder.exe";
  fx.Put(fx.Path(u"Tools\\") + in_folder);
  auto key = [&](const char16_t* suffix) { return kAppPaths + fx.name() + suffix; };
  fx.Sz(kHkeyLocalMachine, key(u"-bypath.exe"), true, u"", u"");
  fx.Sz(kHkeyLocalMachine, key(u"-bypath.exe"), true, u"PATH", u"\"" + fx.Path(u"Tools") + u"\"");
  fx.Sz(kHkeyLocalMachine, kAppPaths + in_folder, true, u"", u"");
  fx.Sz(kHkeyLocalMachine, kAppPaths + in_folder, true, u"path", fx.Path(u"Tools\\"));
  fx.Sz(kHkeyLocalMachine, key(u"-bare.exe"), true, u"", u"");
  fx.Sz(kHkeyLocalMachine, key(u"-withsub.exe"), true, u"", u"");
  fx.Key(kHkeyLocalMachine, key(u"-withsub.exe") + u"\\SupportedProtocols", true);
  fx.Sz(kHkeyLocalMachine, key(u"-other.exe"), true, u"", u"");
  fx.Sz(kHkeyLocalMachine, key(u"-other.exe"), true, u"UseUrl", u"1");
  fx.Key(kHkeyLocalMachine, key(u"-novalues.exe"), true);
  fx.Sz(kHkeyLocalMachine, key(u"-nodefault.exe"), true, u"Path", fx.Path(u"Nowhere"));

  auto scan = [&](bool skip_empty) {
    fx.context().skip_empty_keys = skip_empty;
    fx.manager().CreateAreas(kAppPathsBit, 1);
    EXPECT_EQ(1, fx.area<CAppPaths>(kAppPathsBit).Scan());
  };
  scan(false);
  ExpectFound(fx, kAppPathsBit, key(u"-bypath.exe"), key(u"-bypath.exe"), u"", true, 13,
              fx.Path(u"Tools\\") + fx.name() + u"-bypath.exe", {fx.name() + u"-bypath.exe"});
  ExpectFound(fx, kAppPathsBit, key(u"-bare.exe"), key(u"-bare.exe"), u"", true, 1, u"", {fx.name() + u"-bare.exe"});
  ExpectFound(fx, kAppPathsBit, key(u"-novalues.exe"), key(u"-novalues.exe"), u"", true, 14, u"",
              {fx.name() + u"-novalues.exe"});
  for (const char16_t* ok : {u"-infolder.exe", u"-withsub.exe", u"-other.exe", u"-nodefault.exe"})
    ExpectNothingFor(fx, kAppPathsBit, fx.name() + ok);

  scan(true);
  EXPECT_NE(nullptr, fx.FindIn(kAppPathsBit, kLm + key(u"-bypath.exe"), u"", true));
  EXPECT_TRUE(fx.Find(kAppPathsBit, kLm + key(u"-bare.exe")).empty());
  EXPECT_TRUE(fx.Find(kAppPathsBit, kLm + key(u"-novalues.exe")).empty());
}

TEST(AppPathsArea, ApplicationVerbsReportTheSmallestKeyHoldingTheCommand) {
  AreaFixture fx;
  fx.Put(fx.Path(u"App\\ok.exe"));
  const Text missing = u"\"" + fx.Path(u"App\\gone.exe") + u"\" \"%1\"";
  const Text present = u"\"" + fx.Path(u"App\\ok.exe") + u"\" \"%1\"";
  auto app = [&](const char16_t* suffix) { return kApplications + fx.name() + suffix; };
  auto command = [&](const Text& a, const char16_t* verb, const Text& text) {
    fx.Sz(kHkeyLocalMachine, a + u"\\shell\\" + verb + u"\\command", true, u"", text);
  };
  command(app(u"-single.exe"), u"open", missing);  // the whole application key goes
  command(app(u"-verbs.exe"), u"open", missing);   // two verbs: the broken verb
  command(app(u"-verbs.exe"), u"edit", present);
  command(app(u"-types.exe"), u"open", missing);  // another subkey beside "shell": the verb
  fx.Sz(kHkeyLocalMachine, app(u"-types.exe") + u"\\SupportedTypes", true, u".txt", u"");
  // The verb holds more than its command: the command key. (Not "open":
  // keys holding "\open\" are on the safe key list.)
  command(app(u"-dde.exe"), u"play", missing);
  fx.Sz(kHkeyLocalMachine, app(u"-dde.exe") + u"\\shell\\play\\ddeexec", true, u"", u"[play]");
  command(app(u"-fine.exe"), u"open", present);

  EXPECT_EQ(1, fx.area<CAppPaths>(kAppPathsBit).Scan());

  const Text single = app(u"-single.exe");
  ExpectFound(fx, kAppPathsBit, single, single, u"", true, 13, missing, {fx.name() + u"-single.exe"});
  ExpectFound(fx, kAppPathsBit, single, app(u"-verbs.exe") + u"\\shell\\open", u"", true, 13, missing,
              {fx.name() + u"-verbs.exe"});
  ExpectFound(fx, kAppPathsBit, single, app(u"-types.exe") + u"\\shell\\open", u"", true, 13, missing,
              {fx.name() + u"-types.exe"});
  ExpectFound(fx, kAppPathsBit, single, app(u"-dde.exe") + u"\\shell\\play\\command", u"", true, 13, missing,
              {fx.name() + u"-dde.exe"});
  const std::size_t views = fx.windows64() && fx.Visible(kHkeyLocalMachine, single, false) ? 2 : 1;
  EXPECT_EQ(4 * views, fx.OwnCount(kAppPathsBit)) << "nothing else: not the edit verb, not the fine application";
}

TEST(SoftwareArea, UninstallEntriesInBothViews) {
  AreaFixture fx;
  fx.Put(fx.Path(u"App\\app.exe"));
  const Text remove = fx.Path(u"Gone\\remove.exe");
  ASSERT_FALSE(fx.safe_lists().IsSafePath(Lowercase(remove)));
  for (bool v : Views(fx)) {
    const Text n = kUninstall + fx.name() + Suffix(v);
    fx.Sz(kHkeyLocalMachine, n + u"-gone", v, u"DisplayName", u"Gone");
    fx.Sz(kHkeyLocalMachine, n + u"-gone", v, u"UninstallString", remove);
    fx.Sz(kHkeyLocalMachine, n + u"-icon", v, u"UninstallString", fx.Path(u"App\\app.exe") + u" /uninstall");
    fx.Sz(kHkeyLocalMachine, n + u"-icon", v, u"DisplayIcon", fx.Path(u"App\\gone.ico") + u",0");
    fx.Sz(kHkeyLocalMachine, n + u"-quiet", v, u"QuietUninstallString", u"\"" + fx.Path(u"Gone\\q.exe") + u"\" /S");
    fx.Sz(kHkeyLocalMachine, n + u"-none", v, u"DisplayName", u"No uninstaller");
    fx.Key(kHkeyLocalMachine, n + u"-empty", v);
    fx.Sz(kHkeyLocalMachine, n + u"-bare", v, u"UninstallString", fx.name() + u"-nowhere.exe /x");
    // Never reported: protected entries, bare system programs with
    // arguments, safe-listed uninstallers, empty keys with subkeys, present files.
    fx.Dword(kHkeyLocalMachine, n + u"-system", v, u"systemComponent", 1);
    fx.Sz(kHkeyLocalMachine, n + u"-system", v, u"UninstallString", remove);
    fx.Sz(kHkeyLocalMachine, n + u"-msi", v, u"UninstallString",
          u"MsiExec.exe /X{6A1F3C2B-0D4E-4B7A-9C58-2E1D0F3A4B5C}");
    fx.Sz(kHkeyLocalMachine, n + u"-safe", v, u"UninstallString", fx.Path(u"Old\\unins000.exe"));
    fx.Key(kHkeyLocalMachine, n + u"-withsub\\Sub", v);
    fx.Sz(kHkeyLocalMachine, n + u"-ok", v, u"UninstallString", u"\"" + fx.Path(u"App\\app.exe") + u"\" /x");
    fx.Sz(kHkeyLocalMachine, n + u"-ok", v, u"InstallLocation", fx.Path(u"App\\"));
    fx.Sz(kHkeyLocalMachine, n + u"-ok", v, u"DisplayIcon", u"%SystemRoot%\\system32\\msiexec.exe,0");
  }

  EXPECT_EQ(1, fx.area<CSoftware>(kSoftwareBit).Scan());

  for (bool v : Views(fx)) {
    const Text name = fx.name() + Suffix(v), n = kUninstall + name;
    auto expect = [&](const char16_t* entry, const char16_t* value, int type, const Text& data, const Text& detail) {
      ExpectFound(fx, kSoftwareBit, n + entry, n + entry, value, v, type, data, {detail});
    };
    expect(u"-gone", u"UninstallString", 36, remove, u"Gone");
    expect(u"-icon", u"DisplayIcon", 42, fx.Path(u"App\\gone.ico") + u",0", name + u"-icon");
    expect(u"-quiet", u"QuietUninstallString", 36, u"\"" + fx.Path(u"Gone\\q.exe") + u"\" /S", name + u"-quiet");
    expect(u"-none", u"UninstallString", 36, u"", u"No uninstaller");
    expect(u"-empty", u"UninstallString", 35, u"", u"IDS_INCOMPLETE_ENTRY " + name + u"-empty");
    expect(u"-bare", u"UninstallString", 36, fx.name() + u"-nowhere.exe /x", name + u"-bare");
    EXPECT_TRUE(fx.Find(kSoftwareBit, kLm + n + u"-icon", u"UninstallString").empty());
    for (const char16_t* ok : {u"-system", u"-msi", u"-safe", u"-withsub", u"-ok"})
      ExpectNothingFor(fx, kSoftwareBit, name + ok);
  }

  // Empty entries are left alone while empty keys are skipped.
  fx.context().skip_empty_keys = true;
  fx.manager().CreateAreas(kSoftwareBit, 1);
  EXPECT_EQ(1, fx.area<CSoftware>(kSoftwareBit).Scan());
  EXPECT_EQ(0u, fx.Find(kSoftwareBit, kLm + kUninstall + fx.name() + u"-64-empty", u"UninstallString").size());
  EXPECT_EQ(1u, fx.Find(kSoftwareBit, kLm + kUninstall + fx.name() + u"-64-gone", u"UninstallString").size());
}

TEST(SoftwareArea, CacheEntriesWithoutUninstallEntryAndMissingInstallerFolders) {
  AreaFixture fx;
  fx.MakeFolder(fx.Path(u"Here"));
  for (bool v : Views(fx)) {
    const Text n = fx.name() + Suffix(v);
    fx.Key(kHkeyLocalMachine, kArpCache + n + u"-orphan", v);
    fx.Key(kHkeyLocalMachine, kArpCache + n + u"-kept", v);
    fx.Sz(kHkeyLocalMachine, kUninstall + n + u"-kept", v, u"DisplayName", u"Kept");
    fx.Sz(kHkeyLocalMachine, kFolders, v, fx.Path(n + u"-gone\\"), u"");
    fx.Sz(kHkeyLocalMachine, kFolders, v, fx.Path(u"Here\\"), u"");
  }

  EXPECT_EQ(1, fx.area<CSoftware>(kSoftwareBit).Scan());

  for (bool v : Views(fx)) {
    const Text n = fx.name() + Suffix(v);
    ExpectFound(fx, kSoftwareBit, kArpCache + n + u"-orphan", kArpCache + n + u"-orphan", u"", v, 35, u"",
                {u"IDS_INCOMPLETE_ENTRY " + n + u"-orphan"});
    EXPECT_TRUE(fx.Find(kSoftwareBit, kLm + kArpCache + n + u"-kept").empty());
    ExpectFound(fx, kSoftwareBit, kFolders, kFolders, fx.Path(n + u"-gone\\"), v, 36, u"", {fx.Path(n + u"-gone\\")},
                true);
  }
  EXPECT_TRUE(fx.Find(kSoftwareBit, kLm + kFolders, fx.Path(u"Here\\")).empty());
}

TEST(SoftwareArea, InstallerTreeTestsPathNamesAndStringData) {
  AreaFixture fx;
  const Text here = fx.Path(u"Tree\\here.dll");
  fx.Put(here);
  const Text base = u"Software\\" + fx.name(), top = kCu + base;
  const Text gone_dll = fx.Path(u"Tree\\gone.dll"), quoted = u"\"" + fx.Path(u"Tree\\gone2.dll") + u"\"";
  fx.Sz(kHkeyCurrentUser, base, true, gone_dll, u"");
  fx.Sz(kHkeyCurrentUser, base, true, quoted, u"");
  fx.Sz(kHkeyCurrentUser, base, true, here, u"");
  const Text source = base + u"\\Products\\P1\\SourceList";
  fx.Sz(kHkeyCurrentUser, source, true, u"LastUsedSource", fx.Path(u"Tree\\setup.msi"));
  fx.Sz(kHkeyCurrentUser, source, true, u"Present", here);
  fx.Set(kHkeyCurrentUser, source, true, u"Multi", kRegMultiSz, AreaFixture::Utf16z(fx.Path(u"Tree\\m.dll") + u'\0'));
  fx.Dword(kHkeyCurrentUser, source, true, u"Count", 3);
  fx.Sz(kHkeyCurrentUser, base + u"\\Wow6432Node\\X", true, u"Hidden", fx.Path(u"Tree\\hidden.dll"));

  CSoftware& area = fx.area<CSoftware>(kSoftwareBit);
  EXPECT_EQ(1, area.ScanInstallerTree(kHkeyCurrentUser, base, true));
  for (const Text& name : {gone_dll, quoted}) {
    const auto found = fx.Find(kSoftwareBit, top, name);
    ASSERT_EQ(1u, found.size()) << ToUtf8(name);
    EXPECT_EQ(42, found[0]->entry_type);
    EXPECT_EQ(name, found[0]->value_data);
    EXPECT_EQ(std::vector<Text>{u"IDS_ENG_MISSING_FILE"}, found[0]->details);
    EXPECT_EQ(0, found[0]->entry32);
  }
  const auto deep = fx.Find(kSoftwareBit, kCu + source, u"LastUsedSource");
  ASSERT_EQ(1u, deep.size());
  EXPECT_EQ(fx.Path(u"Tree\\setup.msi"), deep[0]->value_data);
  EXPECT_EQ(3u, fx.OwnCount(kSoftwareBit)) << "present files, other types and Wow6432Node keys are not reported";
  EXPECT_EQ(1, area.ScanInstallerTree(kHkeyCurrentUser, base + u"\\NoSuchKey", true));
  if (fx.windows64()) {
    fx.Sz(kHkeyCurrentUser, base + u"-32", false, u"Icon", fx.Path(u"Tree\\icon32.exe"));
    EXPECT_EQ(1, area.ScanInstallerTree(kHkeyCurrentUser, base + u"-32", false));
    EXPECT_NE(nullptr, fx.FindIn(kSoftwareBit, top + u"-32", u"Icon", false)) << "the 32-bit walk marks its problems";
  }

  // The scan walks the installer tree of the classes root.
  const Text key = u"Installer\\" + fx.name() + u"\\SourceList";
  fx.Sz(kHkeyClassesRoot, key, true, u"LastUsedSource", fx.Path(u"Tree\\setup.msi"));
  fx.manager().CreateAreas(kSoftwareBit, 1);
  EXPECT_EQ(1, fx.area<CSoftware>(kSoftwareBit).Scan());
  EXPECT_NE(nullptr, fx.FindIn(kSoftwareBit, u"HKEY_CLASSES_ROOT\\" + key, u"LastUsedSource", true));

#ifndef _WIN32
  // Deeper than any real registry allows: the walk stops at its bound.
  Text path = base + u"\\deep";
  Text at_100;
  for (int depth = 1; depth <= 600; ++depth) {
    path += u"\\k";
    if (depth == 100) at_100 = path;
  }
  fx.Sz(kHkeyCurrentUser, at_100, true, u"File", fx.Path(u"deep100.dll"));
  fx.Sz(kHkeyCurrentUser, path, true, u"File", fx.Path(u"deep600.dll"));
  EXPECT_EQ(1, fx.area<CSoftware>(kSoftwareBit).ScanInstallerTree(kHkeyCurrentUser, base + u"\\deep", true));
  EXPECT_EQ(1u, fx.Find(kSoftwareBit, kCu + at_100, u"File").size());
  EXPECT_TRUE(fx.Find(kSoftwareBit, kCu + path, u"File").empty());
#endif
}

TEST(SharedFilesArea, MissingSharedDllsAndUnregisteredExtensionsInBothViews) {
  AreaFixture fx;
  auto clsid = [&](bool v, const char16_t* what) { return u"{" + fx.name() + Suffix(v) + what + u"}"; };
  std::vector<Text> fine;
  for (bool v : Views(fx)) {
    const Text folder = fx.Path(fx.name() + Suffix(v));
    fx.Dword(kHkeyLocalMachine, kSharedDlls, v, folder + u"\\gone.dll", 1);
    fx.Put(folder + u"\\here.dll");
    fine.push_back(folder + u"\\here.dll");
    // Longer than 225 characters (but not too long to be judged): never examined.
    fine.push_back(folder + u"\\" + Text(240 - folder.size() - 5, u'x') + u".dll");
    fine.push_back(folder + u"\\Microsoft Shared\\gone.dll");  // the safe path list
    for (std::size_t i = fine.size() - 3; i < fine.size(); ++i) fx.Dword(kHkeyLocalMachine, kSharedDlls, v, fine[i], 1);

    fx.Sz(kHkeyLocalMachine, kApproved, v, clsid(v, u"-gone"), u"Gone extension");
    fx.Sz(kHkeyLocalMachine, kApproved, v, clsid(v, u"-only32"), u"32-bit extension");
    fx.Key(kHkeyClassesRoot, u"CLSID\\" + clsid(v, u"-only32"), false);
    fx.Sz(kHkeyLocalMachine, kApproved, v, clsid(v, u"-only64"), u"64-bit extension");
    fx.Key(kHkeyClassesRoot, u"CLSID\\" + clsid(v, u"-only64"), true);
    fine.push_back(fx.name() + Suffix(v) + u"-not-a-class");
    fx.Sz(kHkeyLocalMachine, kApproved, v, fine.back(), u"Odd");
  }

  EXPECT_EQ(1, fx.area<CSharedFiles>(kSharedBit).Scan());

  for (bool v : Views(fx)) {
    const Text folder = fx.Path(fx.name() + Suffix(v));
    ExpectFound(fx, kSharedBit, kSharedDlls, kSharedDlls, folder + u"\\gone.dll", v, 33, u"",
                {u"IDS_MISSING_SHARED_FILE gone.dll", folder}, true);
    ExpectFound(fx, kSharedBit, kApproved, kApproved, clsid(v, u"-gone"), v, 33, u"",
                {u"IDS_MISSING_SHARED_FILE Gone extension", u"Gone extension"}, true);
    for (const char16_t* what : {u"-only32", u"-only64"})
      EXPECT_TRUE(fx.Find(kSharedBit, kLm + kApproved, clsid(v, what)).empty()) << "registered in one view";
  }
  for (const Text& f : fine) {
    EXPECT_TRUE(fx.Find(kSharedBit, kLm + kSharedDlls, f).empty()) << ToUtf8(f);
    EXPECT_TRUE(fx.Find(kSharedBit, kLm + kApproved, f).empty()) << ToUtf8(f);
  }
}

TEST(InstalledProgramAreas, CancelEndsEachScanWithTwo) {
  AreaFixture fx;
  fx.Sz(kHkeyLocalMachine, kAppPaths + fx.name() + u".exe", true, u"", fx.Path(u"gone.exe"));
  fx.Sz(kHkeyLocalMachine, kUninstall + fx.name(), true, u"UninstallString", fx.Path(u"gone.exe"));
  fx.Dword(kHkeyLocalMachine, kSharedDlls, true, fx.Path(u"gone.dll"), 1);
  fx.manager().Cancel();
  for (std::uint32_t bit : {kAppPathsBit, kSoftwareBit, kSharedBit}) {
    EXPECT_EQ(2, fx.manager().AreaByBit(bit)->Scan()) << bit;
    EXPECT_EQ(0u, fx.OwnCount(bit)) << bit;
  }
  EXPECT_EQ(2, fx.area<CSoftware>(kSoftwareBit).ScanInstallerTree(kHkeyCurrentUser, u"Software", true));
}

#ifndef _WIN32
TEST(InstalledProgramAreas, ThirtyTwoBitWindowsHasOnePassWithoutViews) {
  AreaFixture fx(/*windows64=*/false);
  const Text gone = fx.name() + u"-gone.exe", missing = fx.Path(u"gone.exe");
  fx.Sz(kHkeyLocalMachine, kAppPaths + gone, true, u"", missing);
  fx.Sz(kHkeyCurrentUser, kAppPaths + gone, true, u"", missing);
  fx.Sz(kHkeyLocalMachine, kApplications + gone + u"\\shell\\open\\command", true, u"", missing);
  fx.Sz(kHkeyLocalMachine, kUninstall + fx.name(), true, u"UninstallString", missing);
  fx.Key(kHkeyLocalMachine, kArpCache + fx.name() + u"-orphan", true);
  fx.Sz(kHkeyClassesRoot, u"Installer\\" + fx.name(), true, u"Icon", missing);
  fx.Dword(kHkeyLocalMachine, kSharedDlls, true, fx.Path(u"gone.dll"), 1);
  fx.Sz(kHkeyLocalMachine, kApproved, true, u"{" + fx.name() + u"}", u"Gone");
  for (std::uint32_t bit : {kAppPathsBit, kSoftwareBit, kSharedBit}) {
    EXPECT_EQ(1, fx.manager().AreaByBit(bit)->Scan());
    for (const auto& p : fx.manager().AreaByBit(bit)->problems()) EXPECT_EQ(0, p->entry32);
  }
  EXPECT_EQ(1u, fx.Find(kAppPathsBit, kLm + kAppPaths + gone).size());
  EXPECT_EQ(1u, fx.Find(kAppPathsBit, kCu + kAppPaths + gone).size());
  EXPECT_EQ(1u, fx.Find(kAppPathsBit, kLm + kApplications + gone).size());
  EXPECT_EQ(1u, fx.Find(kSoftwareBit, kLm + kUninstall + fx.name(), u"UninstallString").size());
  EXPECT_EQ(1u, fx.Find(kSoftwareBit, kLm + kArpCache + fx.name() + u"-orphan").size());
  EXPECT_EQ(1u, fx.Find(kSoftwareBit, u"HKEY_CLASSES_ROOT\\Installer\\" + fx.name(), u"Icon").size());
  EXPECT_EQ(1u, fx.Find(kSharedBit, kLm + kSharedDlls, fx.Path(u"gone.dll")).size());
  EXPECT_EQ(1u, fx.Find(kSharedBit, kLm + kApproved, u"{" + fx.name() + u"}").size());
  // Sorted by the first detail.
  const auto& list = fx.manager().AreaByBit(kAppPathsBit)->problems();
  for (std::size_t i = 1; i < list.size(); ++i) EXPECT_LE(CompareNoCase(list[i - 1]->Detail(0), list[i]->Detail(0)), 0);
}
#endif

}  // namespace
}  // namespace hs
