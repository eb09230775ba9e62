#pragma once
// A host window's table of views and the switch between them: the old view is left and
// hidden before the new one is entered and shown.

#include "ZEL.Views.Interfaces.h"

#include <array>

namespace ZEL {

// One slot per TView; empty slots for the views a window does not hold. Not owning.
using TFormViewsArray = std::array<IFormView*, TViewCount>;

class TViewSwitcher {
public:
  // How the current view is left: the start-up window leaves it unasked, the main window
  // only when it is active.
  enum class TLeavePolicy { Always, WhenActive };

  explicit TViewSwitcher(TLeavePolicy APolicy) : FPolicy(APolicy) {}

  void SetView(TView AView, IFormView* AFormView) { FViews[static_cast<std::size_t>(AView)] = AFormView; }
  IFormView* View(TView AView) const { return FViews[static_cast<std::size_t>(AView)]; }
  IFormView* Current() const { return FCurrent; }
  // The current view's TView, Host when none.
  TView CurrentView() const;

  // Switches to ATo (also when it is current: left and entered again). A slot without a
  // view changes nothing and gives false.
  bool ChangeView(TView ATo);

  // Leaves every active view towards Host, empties the table and forgets the current view.
  void ReleaseAll();

private:
  TLeavePolicy FPolicy;
  TFormViewsArray FViews{};
  IFormView* FCurrent = nullptr;
};

}  // namespace ZEL
