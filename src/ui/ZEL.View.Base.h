#pragma once
// The form base of both host windows and of every view (progress overlay over the form),
// and the base of every view: its lifecycle and the lending of its content to the host.

#include "ZEL.Frames.Wait.State.h"
#include "ZEL.Views.Interfaces.h"

#include <QPointer>
#include <QWidget>

#include <string>

class QVBoxLayout;

namespace ZEL {

class TFrameStand;
class TWaitFrame;

class TBaseBaseFormView : public QWidget, public IBaseFormView {
  Q_OBJECT
public:
  explicit TBaseBaseFormView(QWidget* AParent = nullptr);
  ~TBaseBaseFormView() override;

  // From any thread: the whole call runs on the UI thread.
  void ShowProgress(const std::string& AMessage, bool ASync) override;
  void HideProgress() override;

  TFrameStand* Stand() const { return FStand; }
  // The overlay now shown, or none.
  TWaitFrame* Overlay() const;

private:
  TFrameStand* FStand;
  TWaitOverlayState FOverlayState;
};

class TBaseFormView : public TBaseBaseFormView, public IFormView {
  Q_OBJECT
public:
  explicit TBaseFormView(QWidget* AParent = nullptr);

  // Overrides call this first.
  virtual void InitView(TView AView, IViewHost* AViewHost, QWidget* AParentControl);
  virtual std::string FormCaption() { return {}; }
  // The widget lent to the host; the view itself unless overridden.
  virtual QWidget* FormContent() { return this; }

  TView GetView() const override { return FView; }
  IViewHost* GetViewHost() const { return FViewHost; }
  QWidget* ParentControl() const { return FParentControl; }
  bool CanGoBack() override { return false; }
  void BackAction() override {}
  // Overrides call Enter first and Leave last.
  void Enter(TView AFromView) override;
  void Leave(TView AToView) override;
  void ShowView() override;
  void HideView() override;
  bool NeedLeave() const override { return FFlags.NeedLeave(); }

private:
  static void MoveInto(QWidget* AContent, QWidget* ANewParent);

  TView FView = TView::Host;
  IViewHost* FViewHost = nullptr;  // the host outlives its views
  QPointer<QWidget> FParentControl;
  QPointer<QWidget> FOriginalParent;
  TViewFlags FFlags;
};

namespace View::Base {

// The panel ("lyContents") that a view or window lays its content on: it fills its owner edge
// to edge; its column has no margins and no spacing.
QVBoxLayout* AddContentsPanel(QWidget* AOwner, QWidget*& APanel);

}  // namespace View::Base

}  // namespace ZEL
