#include "app/web/browser_view.h"

#include "app/page_texts.h"

namespace hs {

void BrowserView::SetTimer(int id, std::uint32_t ms) {
  loop_.SetTimer(id, ms, [this](int fired) {
    if (dlg_) dlg_->OnTimer(fired);
  });
}

void BrowserView::ShowScreen(int child) {
  if (const PageTexts* page = PageOfScreen(child)) {
    bridge_.ShowPage(page->file);
  } else {
    log_.LogLine(u"Browser window: no page for screen " + ToText(child));
  }
}

void BrowserView::PostCommand(int id) {
  loop_.Post([this, id] {
    if (dlg_) (void)dlg_->OnCommand(id);
  });
}

void BrowserView::ShowProblemList() {
  loop_.Post([this] {
    if (open_details_) {
      open_details_();
    } else if (dlg_) {
      dlg_->FillResultList([] { return false; });
    }
  });
}

void BrowserView::ShowLoadingPage(bool shown) {
  if (shown) {
    bridge_.ShowPage(PageOfScreen(dlg::kPageLoading)->file);
  } else {
    bridge_.ShowPageAfterMinimum(PageOfScreen(dlg::kScreenResults)->file);
  }
}

}  // namespace hs
