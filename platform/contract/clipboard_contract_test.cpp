// The Clipboard contract: under Wine the system clipboard, natively the
// process's own. Texts come back unit for unit, a later text replaces an
// earlier one, and an empty text is a text.
#include <gtest/gtest.h>

#include "platform/clipboard.h"
#include "testing/test_env.h"

namespace hs {
namespace {

TEST(ClipboardContract, TextsComeBackExactlyAndReplaceEachOther) {
  auto clipboard = testing::MakeContractClipboard();
  const Text details = u"HKEY_CURRENT_USER\\Software\\X\n----------------------------\n\u00e9\u4e2d\U0001F600 end";
  ASSERT_TRUE(clipboard->SetText(details));
  Text back;
  ASSERT_TRUE(clipboard->GetText(&back));
  EXPECT_EQ(details, back);

  ASSERT_TRUE(clipboard->SetText(u"second"));
  ASSERT_TRUE(clipboard->GetText(&back));
  EXPECT_EQ(u"second", back);

  ASSERT_TRUE(clipboard->SetText(u""));
  back = u"stale";
  ASSERT_TRUE(clipboard->GetText(&back));
  EXPECT_EQ(u"", back);
}

}  // namespace
}  // namespace hs
