#include <gtest/gtest.h>

#include "platform/win32/win32_system_restore.h"
#include "testing/test_env.h"

namespace hs {
namespace {

TEST(Win32SystemRestore, OnlyVersionsWithSystemRestoreUseIt) {
  struct Case {
    unsigned major, minor;
    bool has;
  } cases[] = {{3, 95, false}, {4, 0, false},  {4, 10, false}, {4, 89, false}, {4, 90, true}, {4, 91, true},
               {5, 0, false},  {5, 1, true},   {5, 2, true},   {6, 0, true},   {6, 1, true},  {10, 0, true}};
  for (const auto& c : cases) EXPECT_EQ(c.has, SystemRestoreVersion(c.major, c.minor)) << c.major << "." << c.minor;
}

TEST(Win32SystemRestore, CreatePointReturnsAndTrustsOnlyTheCallsAnswer) {
  Win32SystemRestore restore;
  // Longer than a description may be, cut inside a surrogate pair.
  Text description(62, u'x');
  description += u"\U0001F600 and more text beyond the limit";
  const bool made = restore.CreatePoint(description);
  if (::hs::testing::RunningOnWine()) {
    // Wine's SRSetRestorePointW fails but reports status 0 (success).
    EXPECT_FALSE(made);
  }
}

}  // namespace
}  // namespace hs
