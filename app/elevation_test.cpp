#include "app/elevation.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/portable_system_info.h"
#include "testing/memory_log.h"

namespace hs {
namespace {

class Launcher final : public SelfLauncher {
 public:
  WinError StartSelf(LaunchVerb verb, TextView argument) override {
    calls.push_back({verb == LaunchVerb::kRunAs, Text(argument)});
    return result;
  }
  WinError result = err::kSuccess;
  std::vector<std::pair<bool, Text>> calls;
};

Elevation Apply(int major, bool administrator, Launcher& launcher, TextView target = {}) {
  PortableSystemInfo system(MachineFacts{major, administrator});
  MemoryLog log;
  return ApplyElevationRule(system, launcher, log, ElevatedAction::kFullRestore, target);
}

TEST(ElevationRule, RestartsThroughRunasFromMajorVersion6OnForUsersWhoAreNotAdministrators) {
  Launcher launcher;
  EXPECT_EQ(Elevation::kRunHere, Apply(5, false, launcher));
  EXPECT_EQ(Elevation::kRunHere, Apply(6, true, launcher));
  EXPECT_EQ(Elevation::kRunHere, Apply(10, true, launcher));
  EXPECT_TRUE(launcher.calls.empty());

  EXPECT_EQ(Elevation::kRestarting, Apply(6, false, launcher, u"C:\\b\\full.reg"));
  EXPECT_EQ(Elevation::kRestarting, Apply(10, false, launcher)) << "Windows 10 and 11 behave as Windows 7";
  ASSERT_EQ(2u, launcher.calls.size());
  EXPECT_TRUE(launcher.calls[0].first);
  EXPECT_EQ(u"hvxvistafullbackuprestore \"C:\\b\\full.reg\"", launcher.calls[0].second);
  EXPECT_EQ(u"hvxvistafullbackuprestore", launcher.calls[1].second);

  launcher.result = 1223;  // declined
  EXPECT_EQ(Elevation::kRefused, Apply(11, false, launcher));
}

}  // namespace
}  // namespace hs
