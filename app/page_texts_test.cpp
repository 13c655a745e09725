// The HTML pages against the model: each page lists the keys of its texts
// in the order the model sends them, shows each one, and has the elements
// whose clicks the model handles and the script functions it calls. Read
// natively: the source tree is not reachable from the Wine prefix.
#include "app/page_texts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "app/main_dialog.h"
#include "engine/area_table.h"
#include "testing/test_env.h"

#ifndef _WIN32
namespace hs {
namespace {

std::string ReadPage(const char* file) {
  std::ifstream in(std::filesystem::path(::hs::testing::SourceDir()) / "app" / "pages" / file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> DataKeys(const std::string& html) {
  std::smatch m;
  if (!std::regex_search(html, m, std::regex("data-keys=\"([^\"]*)\""))) return {};
  std::istringstream words(m[1].str());
  return {std::istream_iterator<std::string>(words), {}};
}

TEST(PageTexts, EveryPageListsAndShowsTheModelsKeysInOrder) {
  for (const PageTexts& page : AllPageTexts()) {
    SCOPED_TRACE(page.file);
    const std::string html = ReadPage(page.file);
    ASSERT_FALSE(html.empty());
    std::vector<std::string> keys;
    for (const char16_t* k : page.keys) keys.push_back(ToUtf8(k));
    EXPECT_EQ(keys, DataKeys(html));
    for (const std::string& key : keys) {
      const bool shown = html.find("id=\"" + key + "\"") != std::string::npos ||
                         html.find("data-t=\"" + key + "\"") != std::string::npos ||
                         html.find("\"" + key + "\"") != std::string::npos;  // used by the page's script
      EXPECT_TRUE(shown) << key;
    }
    EXPECT_NE(std::string::npos, html.find("content=\"IE=edge\""));
    EXPECT_NE(std::string::npos, html.find("<script src=\"hs.js\"></script>"));
    EXPECT_EQ(std::string::npos, html.find("http://")) << "no external references";
    EXPECT_EQ(std::string::npos, html.find("https://")) << "no external references";
  }
  // The results page names the areas in scan-area order after its own texts.
  const auto results = FindPageTexts(dlg::kPageResults)->keys;
  ASSERT_GE(results.size(), static_cast<std::size_t>(kAreaCount));
  for (int i = 0; i < kAreaCount; ++i)
    EXPECT_EQ(Text(kAreas[i].name_key), Text(results[results.size() - kAreaCount + i]));
}

TEST(PageTexts, PagesHaveTheClickedElementsAndTheCalledFunctions) {
  const struct {
    int page;
    std::vector<std::string> ids;
    std::vector<std::string> functions;
  } expected[] = {
      {dlg::kPageHome, {"btnBottomStartscan", "idFixErrors", "string103", "string132"}, {"OnWelcomeNext"}},
      {dlg::kPageScanSettings,
       {"btnBottomStartscan1", "string17", "idcat1", "idcat2", "idcat3", "idcat4", "string24", "string30"},
       {"OnWelcomeNext"}},
      {dlg::kPageProgress,
       {"btnBottomStopscan"},
       {"setcheckboxstatus", "setvarsforscan", "SetScanProgressBar", "updatePath"}},
      {dlg::kPageResults,
       {"btnStartClean1", "btnStartClean11", "string170", "btnbottomDetailedView", "string109", "idBackToResults",
        "string159"},
       {"UpdateResultsPage", "AddListRow", "SaveResultList", "LoadStringsDiv"}},
      {dlg::kPageLoading, {}, {"settexts"}},
      {dlg::kPageAfterRepair, {"idBtnScanAgain"}, {}},
  };
  for (const auto& e : expected) {
    const char* file = FindPageTexts(e.page)->file;
    SCOPED_TRACE(file);
    const std::string html = ReadPage(file);
    for (const std::string& id : e.ids) EXPECT_NE(std::string::npos, html.find("id=\"" + id + "\"")) << id;
    for (const std::string& fn : e.functions)
      EXPECT_TRUE(std::regex_search(html, std::regex("function " + fn + "\\(|window\\." + fn + " = function")))
          << fn;
  }
  const std::string shared = ReadPage("hs.js");
  for (const char* fn : {"window.setlanguage = function", "window.LoadStrings = function"})
    EXPECT_NE(std::string::npos, shared.find(fn)) << fn;
}

}  // namespace
}  // namespace hs
#endif
