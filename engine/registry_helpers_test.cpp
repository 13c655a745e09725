// Key path and view helpers, against the contract registry of the build
// (the store natively, the real registry under Wine).
#include "engine/registry_helpers.h"

#include <gtest/gtest.h>

#include "platform/store/registry_store.h"
#include "testing/test_env.h"

namespace hs {
namespace {


TEST(KeyPaths, RootNamesAreExactAndCaseSensitive) {
  EXPECT_EQ(kHkeyClassesRoot, RootFromName(u"HKEY_CLASSES_ROOT"));
  EXPECT_EQ(kHkeyCurrentConfig, RootFromName(u"HKEY_CURRENT_CONFIG"));
  EXPECT_EQ(0u, RootFromName(u"hkey_local_machine"));
  EXPECT_EQ(0u, RootFromName(u"HKLM"));
  RegKey root = 0;
  Text sub;
  EXPECT_FALSE(SplitKeyPath(u"HKEY_LOCAL_MACHINE", &root, &sub)) << "no backslash names no key";
  EXPECT_FALSE(SplitKeyPath(u"hkey_local_machine\\Software", &root, &sub));
  ASSERT_TRUE(SplitKeyPath(u"HKEY_LOCAL_MACHINE\\Software\\A\\", &root, &sub));
  EXPECT_EQ(kHkeyLocalMachine, root);
  EXPECT_EQ(u"Software\\A\\", sub);
}

TEST(KeyPaths, AccessMasksPerView) {
  EXPECT_EQ(0x2001Fu, AccessMask(false, KeyAccess::kReadWrite, true));
  EXPECT_EQ(0x2011Fu, AccessMask(true, KeyAccess::kReadWrite, true));
  EXPECT_EQ(0x2021Fu, AccessMask(true, KeyAccess::kReadWrite, false));
  EXPECT_EQ(0x20019u, AccessMask(false, KeyAccess::kRead, false));
  EXPECT_EQ(0x20119u, AccessMask(true, KeyAccess::kRead, true));
  EXPECT_EQ(0x20219u, AccessMask(true, KeyAccess::kRead, false));
}

class RegistryHelpers : public ::testing::Test {
 protected:
  void SetUp() override {
    reg_ = ::hs::testing::MakeContractRegistry();
    windows64_ = ::hs::testing::MakeContractWow64()->IsWow64Process();
    base_ = u"Software\\" + ::hs::testing::UniqueName("HSHelpers");
    ASSERT_EQ(err::kSuccess, reg_->Create(kHkeyCurrentUser, base_, kKeyAllAccess, &key_, nullptr));
  }
  void TearDown() override {
    reg_->Close(key_);
    (void)reg_->DeleteTree(kHkeyCurrentUser, base_, 0);
  }
  RegEnv env() { return RegEnv{*reg_, windows64_}; }
  Text Read(TextView value, RegView view = RegView::k32) {
    Text t = u"<unset>";
    EXPECT_TRUE(ReadStringValue(env(), kHkeyCurrentUser, base_, value, view, &t));
    return t;
  }

  std::unique_ptr<Registry> reg_;
  bool windows64_ = false;
  Text base_;
  RegKey key_ = 0;
};

TEST_F(RegistryHelpers, ReadStringValueAcceptsOnlyWellFormedStrings) {
  ASSERT_EQ(err::kSuccess, reg_->SetValue(key_, u"sz", kRegSz, SzData(u"  C:\\x.exe\t")));
  ASSERT_EQ(err::kSuccess, reg_->SetValue(key_, u"expand", kRegExpandSz, SzData(u"%windir%\\a")));
  std::vector<std::uint8_t> inner = SzData(u"first");
  auto tail = SzData(u"second");
  inner.insert(inner.end(), tail.begin(), tail.end());
  ASSERT_EQ(err::kSuccess, reg_->SetValue(key_, u"two", kRegSz, inner));
  ASSERT_EQ(err::kSuccess, reg_->SetValue(key_, u"no-nul", kRegSz, ToUtf16leBytes(u"abc")));
  ASSERT_EQ(err::kSuccess, reg_->SetValue(key_, u"odd", kRegSz, {0x41, 0, 0}));
  ASSERT_EQ(err::kSuccess, reg_->SetValue(key_, u"multi", kRegMultiSz, {0x41, 0, 0, 0, 0, 0}));
  ASSERT_EQ(err::kSuccess, reg_->SetValue(key_, u"dword", kRegDword, {1, 0, 0, 0}));
  ASSERT_EQ(err::kSuccess, reg_->SetValue(key_, u"empty", kRegSz, {}));

  EXPECT_EQ(u"C:\\x.exe", Read(u"sz"));
  EXPECT_EQ(u"%windir%\\a", Read(u"expand"));
  EXPECT_EQ(u"first", Read(u"two"));
  EXPECT_EQ(u"", Read(u"no-nul"));
  EXPECT_EQ(u"", Read(u"odd"));
  EXPECT_EQ(u"", Read(u"multi"));
  EXPECT_EQ(u"", Read(u"dword"));
  EXPECT_EQ(u"", Read(u"empty"));
  EXPECT_EQ(u"", Read(u"missing"));
  Text t;
  EXPECT_FALSE(ReadStringValue(env(), kHkeyCurrentUser, base_ + u"\\nope", u"sz", RegView::k32, &t));
}

TEST_F(RegistryHelpers, DefaultViewVariantDoesNothingOn64BitWindows) {
  ASSERT_EQ(err::kSuccess, reg_->SetValue(key_, u"sz", kRegSz, SzData(u"text")));
  Text t = u"x";
  EXPECT_TRUE(ReadStringValue(env(), kHkeyCurrentUser, base_, u"sz", RegView::kDefault, &t));
  EXPECT_EQ(windows64_ ? u"" : u"text", t);
  RegEnv plain{*reg_, false};
  EXPECT_TRUE(ReadStringValue(plain, kHkeyCurrentUser, base_, u"sz", RegView::kDefault, &t));
  EXPECT_EQ(u"text", t);
}

TEST_F(RegistryHelpers, ListingsSkipWow6432NodeOnlyOn64BitWindows) {
  for (auto n : {u"Alpha", u"Wow6432Node", u"wow6432node-like", u"Zulu"}) {
    RegKey k = 0;
    ASSERT_EQ(err::kSuccess, reg_->Create(key_, n, kKeyAllAccess, &k, nullptr));
    reg_->Close(k);
  }
  std::vector<Text> names;
  EXPECT_TRUE(EnumSubkeyNames(RegEnv{*reg_, true}, key_, &names));
  EXPECT_EQ((std::vector<Text>{u"Alpha", u"Zulu"}), names);
  EXPECT_TRUE(EnumSubkeyNames(RegEnv{*reg_, false}, key_, &names));
  EXPECT_EQ(4u, names.size());
}

TEST_F(RegistryHelpers, ValueListingSkipsOverlongNames) {
  ASSERT_EQ(err::kSuccess, reg_->SetValue(key_, u"short", kRegSz, SzData(u"x")));
  ASSERT_EQ(err::kSuccess, reg_->SetValue(key_, Text(1024, u'a'), kRegSz, SzData(u"x")));
  ASSERT_EQ(err::kSuccess, reg_->SetValue(key_, Text(1025, u'b'), kRegSz, SzData(u"x")));
  std::vector<Text> names;
  EXPECT_EQ(2u, EnumValueNames(env(), key_, &names));
  EXPECT_TRUE(ValueExists(env(), key_, u"SHORT"));
  EXPECT_TRUE(ValueExists(env(), key_, Text(1025, u'b')));
  EXPECT_FALSE(ValueExists(env(), key_, u"other"));
}

TEST_F(RegistryHelpers, KeyHolderCreatesOnlyWithAChangeMask) {
  KeyHolder h(*reg_);
  const Text sub = base_ + u"\\made";
  EXPECT_EQ(err::kFileNotFound, h.Open(kHkeyCurrentUser, sub, kKeyRead, /*create=*/true));
  EXPECT_FALSE(h.is_open());
  EXPECT_EQ(err::kSuccess, h.Open(kHkeyCurrentUser, sub, AccessMask(false, KeyAccess::kReadWrite, false), true));
  EXPECT_TRUE(h.is_open());
  EXPECT_EQ(err::kSuccess, h.Open(kHkeyCurrentUser, sub, kKeyRead));
}

#ifndef _WIN32
// Denied write access needs a key the store marks; the real registry would
// need an access list, which Wine does not enforce for an administrator.
TEST(RegistryHelpersStore, ReadOnlyKeyIsReadThroughTheRetry) {
  RegistryStore::Options o;
  o.windows64 = true;
  RegistryStore store(o);
  RegKey k = 0;
  ASSERT_EQ(err::kSuccess, store.Create(kHkeyLocalMachine, u"Software\\Locked", kKeyAllAccess | kKeyWow64_64Key, &k,
                                        nullptr));
  ASSERT_EQ(err::kSuccess, store.SetValue(k, u"Path", kRegSz, SzData(u"C:\\locked.exe")));
  store.Close(k);
  ASSERT_EQ(err::kSuccess, store.MarkDenyWrite(kHkeyLocalMachine, u"Software\\Locked", kKeyWow64_64Key, true));
  EXPECT_EQ(err::kAccessDenied,
            store.Open(kHkeyLocalMachine, u"Software\\Locked", AccessMask(true, KeyAccess::kReadWrite, true), &k));
  Text t;
  EXPECT_TRUE(ReadStringValue(RegEnv{store, true}, kHkeyLocalMachine, u"Software\\Locked", u"Path", RegView::k64, &t));
  EXPECT_EQ(u"C:\\locked.exe", t);
  EXPECT_FALSE(ReadStringValue(RegEnv{store, true}, kHkeyLocalMachine, u"Software\\Locked", u"Path", RegView::k32, &t))
      << "the 32-bit view has no such key";
  EXPECT_EQ(0u, store.OpenHandleCount());
}
#endif

}  // namespace
}  // namespace hs
