// One suite, two adapters: natively against RegistryStore (64-bit Windows
// mode), in the win32 build against the real registry under Wine. Scratch
// keys live under HKCU\Software and HKLM\Software and are removed afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "platform/registry.h"
#include "testing/test_env.h"

namespace hs {
namespace {

using ::hs::testing::MakeContractRegistry;
using ::hs::testing::RunningOnWine;
using ::hs::testing::UniqueName;

std::vector<std::uint8_t> Bytes(std::initializer_list<int> v) {
  std::vector<std::uint8_t> out;
  for (int b : v) out.push_back(static_cast<std::uint8_t>(b));
  return out;
}


class RegistryContract : public ::testing::Test {
 protected:
  void SetUp() override {
    reg_ = MakeContractRegistry();
    name_ = UniqueName("HSContract");
    base_ = u"Software\\" + name_;
    ASSERT_EQ(err::kSuccess, reg_->Create(kHkeyCurrentUser, base_, kKeyAllAccess, &key_, nullptr));
  }
  void TearDown() override {
    reg_->Close(key_);
    (void)reg_->DeleteTree(kHkeyCurrentUser, base_, 0);
    for (std::uint32_t view : {kKeyWow64_64Key, kKeyWow64_32Key}) {
      (void)reg_->DeleteTree(kHkeyLocalMachine, base_, view);
      (void)reg_->DeleteTree(kHkeyLocalMachine, u"Software\\Classes\\CLSID\\" + name_, view);
      (void)reg_->DeleteTree(kHkeyLocalMachine, u"Software\\Classes\\" + name_, view);
      (void)reg_->DeleteTree(kHkeyLocalMachine,
                             u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name_, view);
    }
    (void)reg_->DeleteTree(kHkeyCurrentUser, u"Software\\Classes\\" + name_, 0);
  }

  RegKey MakeKey(TextView sub) {
    RegKey k = 0;
    EXPECT_EQ(err::kSuccess, reg_->Create(key_, sub, kKeyAllAccess, &k, nullptr));
    return k;
  }
  bool Exists(RegKey root, TextView path, std::uint32_t view) {
    RegKey k = 0;
    WinError e = reg_->Open(root, path, kKeyRead | view, &k);
    if (e == err::kSuccess) reg_->Close(k);
    return e == err::kSuccess;
  }
  std::vector<Text> Subkeys(RegKey k) {
    std::vector<Text> out;
    Text n;
    for (std::uint32_t i = 0; reg_->EnumKey(k, i, 256, &n) == err::kSuccess; ++i) out.push_back(n);
    return out;
  }

  std::unique_ptr<Registry> reg_;
  Text name_, base_;
  RegKey key_ = 0;
};

TEST_F(RegistryContract, KeysAreCaseInsensitiveKeepTheirCaseAndListInNameOrder) {
  bool created = false;
  RegKey k = 0;
  ASSERT_EQ(err::kSuccess, reg_->Create(key_, u"Alpha\\Beta", kKeyAllAccess, &k, &created));
  EXPECT_TRUE(created);
  reg_->Close(k);
  ASSERT_EQ(err::kSuccess, reg_->Create(key_, u"ALPHA\\beta", kKeyAllAccess, &k, &created));
  EXPECT_FALSE(created);
  reg_->Close(k);
  ASSERT_EQ(err::kSuccess, reg_->Open(key_, u"alpha\\BETA\\", kKeyRead, &k));
  reg_->Close(k);
  for (auto n : {u"charlie", u"Bravo", u"_under", u"delta"}) reg_->Close(MakeKey(n));
  if (RunningOnWine()) {
    // Wine deviation: Wine orders names by their lower-case form.
    EXPECT_EQ((std::vector<Text>{u"_under", u"Alpha", u"Bravo", u"charlie", u"delta"}), Subkeys(key_));
  } else {
    // Windows orders names by their upper-case form, so '_' (0x5F) follows the letters.
    EXPECT_EQ((std::vector<Text>{u"Alpha", u"Bravo", u"charlie", u"delta", u"_under"}), Subkeys(key_));
  }
}

TEST_F(RegistryContract, ValuesKeepTypeAndRawBytes) {
  RegKey k = MakeKey(u"values");
  struct Case {
    Text name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
  } cases[] = {
      {u"sz", kRegSz, SzData(u"C:\\Program Files\\x.exe")},
      {u"no-nul", kRegSz, ToUtf16leBytes(u"abc")},
      {u"odd", kRegSz, Bytes({0x41, 0, 0x42})},
      {u"dword", kRegDword, Bytes({0x40, 0xE2, 0x01, 0})},
      {u"short-dword", kRegDword, Bytes({1, 2})},
      {u"multi", kRegMultiSz, Bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0})},
      {u"odd-type", 0x1234, Bytes({9, 8, 7})},
      {u"empty-bin", kRegBinary, {}},
      {u"", kRegSz, SzData(u"default")},
      {u"\u00c9t\u00e9 \u0416", kRegExpandSz, SzData(u"%SystemRoot%")},
  };
  for (auto& c : cases) ASSERT_EQ(err::kSuccess, reg_->SetValue(k, c.name, c.type, c.data)) << ToUtf8(c.name);
  for (auto& c : cases) {
    RegValue v;
    ASSERT_EQ(err::kSuccess, reg_->QueryValue(k, c.name, &v)) << ToUtf8(c.name);
    EXPECT_EQ(c.type, v.type) << ToUtf8(c.name);
    EXPECT_EQ(c.data, v.data) << ToUtf8(c.name);
  }
  // Names match case-insensitively, also outside ASCII; overwriting keeps the stored name.
  RegValue v;
  EXPECT_EQ(err::kSuccess, reg_->QueryValue(k, u"\u00c9T\u00c9 \u0436", &v));
  ASSERT_EQ(err::kSuccess, reg_->SetValue(k, u"SZ", kRegSz, SzData(u"again")));
  std::vector<Text> names;
  Text name;
  for (std::uint32_t i = 0; reg_->EnumValue(k, i, 16384, 1 << 20, &name, &v) == err::kSuccess; ++i) {
    names.push_back(name);
    if (name == u"sz") {
      EXPECT_EQ(SzData(u"again"), v.data);
    }
  }
  ASSERT_EQ(std::size(cases), names.size());
  if (RunningOnWine()) {
    // Wine deviation: Wine lists values in name order, Windows in creation order.
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(),
                               [](const Text& a, const Text& b) { return CompareNoCase(a, b) < 0; }));
  } else {
    for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(cases[i].name, names[i]);
  }
  reg_->Close(k);
}

TEST_F(RegistryContract, ErrorCodesOfTheApi) {
  RegKey k = 0;
  EXPECT_EQ(err::kFileNotFound, reg_->Open(key_, u"missing", kKeyRead, &k));
  RegKey parent = MakeKey(u"p");
  reg_->Close(MakeKey(u"p\\child-with-a-long-name"));
  ASSERT_EQ(err::kSuccess, reg_->SetValue(parent, u"value-with-long-name", kRegBinary, Bytes({1, 2, 3, 4})));
  Text name;
  EXPECT_EQ(err::kMoreData, reg_->EnumKey(parent, 0, 5, &name));
  EXPECT_EQ(err::kNoMoreItems, reg_->EnumKey(parent, 1, 256, &name));
  RegValue v;
  EXPECT_EQ(err::kMoreData, reg_->EnumValue(parent, 0, 5, 1024, &name, &v));
  EXPECT_EQ(err::kMoreData, reg_->EnumValue(parent, 0, 1024, 2, &name, &v));
  EXPECT_EQ(err::kNoMoreItems, reg_->EnumValue(parent, 1, 1024, 1024, &name, &v));
  EXPECT_EQ(err::kFileNotFound, reg_->QueryValue(parent, u"nope", &v));
  EXPECT_EQ(err::kFileNotFound, reg_->DeleteValue(parent, u"nope"));
  EXPECT_EQ(err::kAccessDenied, reg_->DeleteKey(key_, u"p", 0));
  EXPECT_EQ(err::kFileNotFound, reg_->DeleteKey(key_, u"p\\nope", 0));
  EXPECT_EQ(err::kSuccess, reg_->DeleteKey(key_, u"p\\child-with-a-long-name", 0));
  EXPECT_EQ(err::kSuccess, reg_->DeleteKey(key_, u"p", 0));
  // The handle to a deleted key fails from now on.
  EXPECT_EQ(err::kKeyDeleted, reg_->QueryValue(parent, u"value-with-long-name", &v));
  reg_->Close(parent);
}

TEST_F(RegistryContract, QueryInfoCountsAndLongestNames) {
  RegKey k = MakeKey(u"info");
  reg_->Close(MakeKey(u"info\\a"));
  reg_->Close(MakeKey(u"info\\abcdef"));
  ASSERT_EQ(err::kSuccess, reg_->SetValue(k, u"v1", kRegBinary, Bytes({1, 2, 3, 4, 5, 6, 7})));
  ASSERT_EQ(err::kSuccess, reg_->SetValue(k, u"value2", kRegSz, SzData(u"x")));
  RegKeyInfo info;
  ASSERT_EQ(err::kSuccess, reg_->QueryInfo(k, &info));
  EXPECT_EQ(2u, info.subkeys);
  EXPECT_EQ(6u, info.max_subkey_name);
  EXPECT_EQ(2u, info.values);
  EXPECT_EQ(6u, info.max_value_name);
  EXPECT_EQ(7u, info.max_value_data);
  reg_->Close(k);
}

TEST_F(RegistryContract, NameLimits) {
  Text k255(255, u'k');
  RegKey k = 0;
  ASSERT_EQ(err::kSuccess, reg_->Create(key_, k255, kKeyAllAccess, &k, nullptr));
  reg_->Close(k);
  Text name;
  EXPECT_EQ(err::kMoreData, reg_->EnumKey(key_, 0, 255, &name));
  EXPECT_EQ(err::kSuccess, reg_->EnumKey(key_, 0, 256, &name));
  EXPECT_EQ(k255, name);
  if (!RunningOnWine()) {  // Wine deviation: Wine accepts 256-character key names.
    EXPECT_NE(err::kSuccess, reg_->Create(key_, Text(256, u'k'), kKeyAllAccess, &k, nullptr));
    EXPECT_FALSE(Exists(key_, Text(256, u'k'), 0));
  }

  RegKey v = MakeKey(u"v");
  EXPECT_EQ(err::kSuccess, reg_->SetValue(v, Text(16383, u'n'), kRegSz, SzData(u"x")));
  EXPECT_NE(err::kSuccess, reg_->SetValue(v, Text(16384, u'n'), kRegSz, SzData(u"x")));
  reg_->Close(v);
}

TEST_F(RegistryContract, HandleRightsAndPaths) {
  reg_->Close(MakeKey(u"ro"));
  RegKey ro = 0;
  ASSERT_EQ(err::kSuccess, reg_->Open(key_, u"ro", kKeyRead, &ro));
  EXPECT_EQ(err::kAccessDenied, reg_->SetValue(ro, u"x", kRegSz, SzData(u"x")));
  RegKey self = 0;
  ASSERT_EQ(err::kSuccess, reg_->Open(ro, u"", kKeyRead, &self));
  reg_->Close(self);
  reg_->Close(ro);
  RegKey k = 0;
  EXPECT_NE(err::kSuccess, reg_->Open(kHkeyCurrentUser, u"\\Software", kKeyRead, &k));
  EXPECT_EQ(err::kFileNotFound, reg_->Open(kHkeyLocalMachine, u"NoSuchKey\\At\\All", kKeyRead, &k));
}

TEST_F(RegistryContract, DeleteTreeRemovesTheWholeSubtree) {
  reg_->Close(MakeKey(u"t\\a\\b\\c"));
  reg_->Close(MakeKey(u"t\\d"));
  EXPECT_EQ(err::kSuccess, reg_->DeleteTree(key_, u"t", 0));
  EXPECT_FALSE(Exists(key_, u"t", 0));
  EXPECT_EQ(err::kFileNotFound, reg_->DeleteTree(key_, u"t", 0));
}

// 32-bit process on 64-bit Windows: the views of Windows 7.
class RegistryViews : public RegistryContract {
 protected:
  void SetUp() override {
    RegistryContract::SetUp();
    auto wow = ::hs::testing::MakeContractWow64();
    if (!wow->IsWow64Process()) GTEST_SKIP() << "not 64-bit Windows";
  }
  void Put(RegKey root, TextView path, std::uint32_t view, TextView data) {
    RegKey k = 0;
    ASSERT_EQ(err::kSuccess, reg_->Create(root, path, kKeyAllAccess | view, &k, nullptr)) << ToUtf8(path);
    ASSERT_EQ(err::kSuccess, reg_->SetValue(k, u"v", kRegSz, SzData(data)));
    reg_->Close(k);
  }
  Text Get(RegKey root, TextView path, std::uint32_t view) {
    RegKey k = 0;
    if (reg_->Open(root, path, kKeyRead | view, &k) != err::kSuccess) return u"<none>";
    RegValue v;
    Text out = u"<no value>";
    if (reg_->QueryValue(k, u"v", &v) == err::kSuccess) out = FromUtf16leBytes(v.data.data(), v.data.size() - 2);
    reg_->Close(k);
    return out;
  }
};

TEST_F(RegistryViews, MachineSoftwareIsSplitAndThe32BitViewLivesInWow6432Node) {
  const Text p = base_ + u"\\k";
  Put(kHkeyLocalMachine, p, kKeyWow64_64Key, u"64");
  Put(kHkeyLocalMachine, p, kKeyWow64_32Key, u"32");
  EXPECT_EQ(u"64", Get(kHkeyLocalMachine, p, kKeyWow64_64Key));
  EXPECT_EQ(u"32", Get(kHkeyLocalMachine, p, kKeyWow64_32Key));
  EXPECT_EQ(u"32", Get(kHkeyLocalMachine, u"Software\\Wow6432Node\\" + name_ + u"\\k", kKeyWow64_64Key));
  EXPECT_EQ(u"32", Get(kHkeyLocalMachine, p, 0)) << "no view bit: a 32-bit process sees the 32-bit view";
}

TEST_F(RegistryViews, Wow6432NodeIsListedOnlyInThe64BitView) {
  auto listed = [&](std::uint32_t view) {
    RegKey k = 0;
    EXPECT_EQ(err::kSuccess, reg_->Open(kHkeyLocalMachine, u"Software", kKeyRead | view, &k));
    bool found = false;
    for (auto& n : Subkeys(k)) found |= EqualsNoCase(n, u"Wow6432Node");
    reg_->Close(k);
    return found;
  };
  EXPECT_TRUE(listed(kKeyWow64_64Key));
  EXPECT_FALSE(listed(kKeyWow64_32Key));
}

TEST_F(RegistryViews, ClassesShareFileTypesButSplitClsid) {
  Put(kHkeyLocalMachine, u"Software\\Classes\\" + name_, kKeyWow64_64Key, u"type");
  EXPECT_EQ(u"type", Get(kHkeyLocalMachine, u"Software\\Classes\\" + name_, kKeyWow64_32Key));
  EXPECT_EQ(u"type", Get(kHkeyClassesRoot, name_, kKeyWow64_32Key));

  const Text clsid = u"Software\\Classes\\CLSID\\" + name_;
  Put(kHkeyLocalMachine, clsid, kKeyWow64_64Key, u"64");
  Put(kHkeyLocalMachine, clsid, kKeyWow64_32Key, u"32");
  EXPECT_EQ(u"64", Get(kHkeyLocalMachine, clsid, kKeyWow64_64Key));
  EXPECT_EQ(u"32", Get(kHkeyLocalMachine, clsid, kKeyWow64_32Key));
  EXPECT_EQ(u"32", Get(kHkeyClassesRoot, u"CLSID\\" + name_, kKeyWow64_32Key));
  EXPECT_EQ(u"64", Get(kHkeyClassesRoot, u"CLSID\\" + name_, kKeyWow64_64Key));
  EXPECT_EQ(u"32", Get(kHkeyClassesRoot, u"Wow6432Node\\CLSID\\" + name_, kKeyWow64_64Key));
  EXPECT_EQ(u"32", Get(kHkeyLocalMachine, u"Software\\Classes\\Wow6432Node\\CLSID\\" + name_, kKeyWow64_64Key));
  EXPECT_EQ(u"32", Get(kHkeyLocalMachine, u"Software\\Wow6432Node\\Classes\\CLSID\\" + name_, kKeyWow64_64Key));
}

TEST_F(RegistryViews, AppPathsAndUserSoftwareAreShared) {
  const Text app = u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name_;
  Put(kHkeyLocalMachine, app, kKeyWow64_64Key, u"shared");
  EXPECT_EQ(u"shared", Get(kHkeyLocalMachine, app, kKeyWow64_32Key));
  RegKey k = 0;
  ASSERT_EQ(err::kSuccess, reg_->Open(kHkeyLocalMachine, u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths",
                                      kKeyRead | kKeyWow64_32Key, &k));
  bool found = false;
  for (auto& n : Subkeys(k)) found |= n == name_;
  reg_->Close(k);
  EXPECT_TRUE(found);

  Put(kHkeyCurrentUser, base_ + u"\\u", kKeyWow64_32Key, u"user");
  EXPECT_EQ(u"user", Get(kHkeyCurrentUser, base_ + u"\\u", kKeyWow64_64Key));
}

TEST_F(RegistryViews, ClassesRootMergesTheUsersClasses) {
  if (RunningOnWine()) GTEST_SKIP() << "Wine deviation: HKEY_CLASSES_ROOT does not merge the user's classes";
  Put(kHkeyCurrentUser, u"Software\\Classes\\" + name_, 0, u"user");
  EXPECT_EQ(u"user", Get(kHkeyClassesRoot, name_, 0));
}

TEST_F(RegistryViews, DeleteTreeInA64BitView) {
  Put(kHkeyLocalMachine, base_ + u"\\a\\b", kKeyWow64_64Key, u"x");
  Put(kHkeyLocalMachine, base_ + u"\\a\\b", kKeyWow64_32Key, u"y");
  EXPECT_EQ(err::kSuccess, reg_->DeleteTree(kHkeyLocalMachine, base_ + u"\\a", kKeyWow64_64Key));
  EXPECT_EQ(u"<none>", Get(kHkeyLocalMachine, base_ + u"\\a\\b", kKeyWow64_64Key));
  EXPECT_EQ(u"y", Get(kHkeyLocalMachine, base_ + u"\\a\\b", kKeyWow64_32Key));
}

}  // namespace
}  // namespace hs
