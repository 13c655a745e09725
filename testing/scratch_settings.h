// A settings store in a scratch key of the build's registry (the store
// natively, the real registry under Wine), removed when the object goes away.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "app/settings.h"
#include "testing/test_env.h"

namespace hs::testing {

class ScratchSettings {
 public:
  ScratchSettings(Log& log, const char* prefix)
      : log_(log),
        registry_(MakeContractRegistry()),
        base_(u"Software\\" + UniqueName(prefix)),
        store_(*registry_, log, base_ + u"\\HiveSweep", base_ + u"\\Run") {}
  ~ScratchSettings() { (void)registry_->DeleteTree(kHkeyCurrentUser, base_, 0); }
  ScratchSettings(const ScratchSettings&) = delete;
  ScratchSettings& operator=(const ScratchSettings&) = delete;

  SettingsStore& store() { return store_; }
  // The next start: a new store over the same key, a record with defaults.
  AppSettings Reloaded() {
    SettingsStore fresh(*registry_, log_, store_.settings_key(), store_.run_key());
    AppSettings s;
    EXPECT_EQ(err::kSuccess, fresh.LoadSettings(&s));
    return s;
  }

 private:
  Log& log_;
  std::unique_ptr<Registry> registry_;
  Text base_;
  SettingsStore store_;
};

}  // namespace hs::testing
