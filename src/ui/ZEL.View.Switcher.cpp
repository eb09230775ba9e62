#include "ZEL.View.Switcher.h"

namespace ZEL {

TView TViewSwitcher::CurrentView() const { return FCurrent ? FCurrent->GetView() : TView::Host; }

bool TViewSwitcher::ChangeView(TView ATo) {
  IFormView* LNew = View(ATo);
  if (!LNew) return false;
  TView LFrom = TView::Host;
  if (FCurrent) {
    LFrom = FCurrent->GetView();
    if (FPolicy == TLeavePolicy::Always || FCurrent->NeedLeave()) FCurrent->Leave(ATo);
    FCurrent->HideView();
  }
  FCurrent = LNew;
  LNew->Enter(LFrom);
  LNew->ShowView();
  return true;
}

void TViewSwitcher::ReleaseAll() {
  for (IFormView*& LView : FViews) {
    if (LView && LView->NeedLeave()) LView->Leave(TView::Host);
    LView = nullptr;
  }
  FCurrent = nullptr;
}

}  // namespace ZEL
