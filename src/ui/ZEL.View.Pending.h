#pragma once
// A plain view holding a session slot of the main window until its real view exists: a
// caption, and for the profile slot a button that signs the user out.

#include "ZEL.View.Base.h"

#include <string>

class QLabel;
class QPushButton;

namespace ZEL {

class TPendingViewForm : public TBaseFormView {
  Q_OBJECT
public:
  static constexpr std::string_view TypeName = "TPendingViewForm";

  TPendingViewForm(std::string ACaption, bool ACanGoBack, bool AWithSignOut, QWidget* AParent = nullptr);

  std::string FormCaption() override { return FCaption; }
  // The content lent to the host; the form itself stays where it is made.
  QWidget* FormContent() override { return FContents; }
  bool CanGoBack() override { return FCanGoBack; }
  // Each writes one Debug line, so a session's log shows where the user went.
  void Enter(TView AFromView) override;
  void Leave(TView AToView) override;

  QPushButton* SignOutButton() const { return FSignOut; }

private:
  std::string FCaption;
  bool FCanGoBack;
  QWidget* FContents;
  QLabel* FCaptionLabel;
  QPushButton* FSignOut = nullptr;
};

}  // namespace ZEL
