#include "ZEL.View.Base.h"

#include "ZEL.FrameStand.h"
#include "ZEL.Frames.Wait.h"
#include "ZEL.PlatformLog.h"
#include "ZEL.UIThread.h"

#include <QLayout>
#include <QVBoxLayout>

namespace ZEL {

TBaseBaseFormView::TBaseBaseFormView(QWidget* AParent) : QWidget(AParent), FStand(new TFrameStand(this)) {}

TBaseBaseFormView::~TBaseBaseFormView() {
  TPlatformLog::Debug("", "Form is dying " + objectName().toStdString());
}

TWaitFrame* TBaseBaseFormView::Overlay() const { return FStand ? FStand->Find<TWaitFrame>() : nullptr; }

void TBaseBaseFormView::ShowProgress(const std::string& AMessage, bool ASync) {
  if (!UIThread::IsUIThread()) {
    UIThread::RunSync([this, &AMessage, ASync] { ShowProgress(AMessage, ASync); });
    return;
  }
  if (!FStand) return;
  const TWaitOverlayState::TShowSteps LSteps = FOverlayState.Show();
  TWaitFrame* LFrame = Overlay();
  if (!LFrame || LSteps.Create) {
    if (LFrame) FStand->Close(LFrame);
    LFrame = FStand->Create<TWaitFrame>();
  }
  LFrame->UpdateMessageText(AMessage, ASync);
  if (!LSteps.StartAndShow && LFrame->isVisible()) {
    LFrame->TakeKeyboard();  // again: a view switch meanwhile may have moved the focus
    return;
  }
  LFrame->StartAnimations();
  FStand->Show(LFrame);
  LFrame->TakeKeyboard();
}

void TBaseBaseFormView::HideProgress() {
  if (!UIThread::IsUIThread()) {
    UIThread::RunSync([this] { HideProgress(); });
    return;
  }
  if (!FStand) return;
  FOverlayState.Hide();
  if (TWaitFrame* LFrame = Overlay()) {
    LFrame->GiveKeyboardBack();
    FStand->Close(LFrame);
  }
}

TBaseFormView::TBaseFormView(QWidget* AParent) : TBaseBaseFormView(AParent) {}

void TBaseFormView::InitView(TView AView, IViewHost* AViewHost, QWidget* AParentControl) {
  FView = AView;
  FViewHost = AViewHost;
  FParentControl = AParentControl;
  FOriginalParent = FormContent()->parentWidget();
}

void TBaseFormView::Enter(TView) { FFlags.Enter(); }

void TBaseFormView::Leave(TView) { FFlags.Leave(); }

void TBaseFormView::MoveInto(QWidget* AContent, QWidget* ANewParent) {
  if (!AContent || AContent->parentWidget() == ANewParent) return;
  if (QWidget* LOld = AContent->parentWidget())
    if (QLayout* LLayout = LOld->layout()) LLayout->removeWidget(AContent);
  AContent->setParent(ANewParent);
  if (ANewParent && ANewParent->layout()) ANewParent->layout()->addWidget(AContent);
  AContent->show();
}

void TBaseFormView::ShowView() { MoveInto(FormContent(), FParentControl); }

void TBaseFormView::HideView() { MoveInto(FormContent(), FOriginalParent); }

namespace View::Base {

QVBoxLayout* AddContentsPanel(QWidget* AOwner, QWidget*& APanel) {
  APanel = new QWidget(AOwner);
  APanel->setObjectName(QStringLiteral("lyContents"));
  auto* LOuter = new QVBoxLayout(AOwner);
  LOuter->setContentsMargins(0, 0, 0, 0);
  LOuter->addWidget(APanel);
  auto* LLayout = new QVBoxLayout(APanel);
  LLayout->setContentsMargins(0, 0, 0, 0);
  LLayout->setSpacing(0);
  return LLayout;
}

}  // namespace View::Base

}  // namespace ZEL
