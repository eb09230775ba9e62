#pragma once
// A short message over a window: a rounded, coloured band with its text, shown whole (wrapped,
// the band grows), that fades in, stays for Delay seconds from Show, fades out and removes
// itself. It never covers a control of its window where it can sit elsewhere, and never takes
// a click meant for one. It can carry one linked object and reports clicks on the band.

#include <QColor>
#include <QLabel>
#include <QSequentialAnimationGroup>
#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <string_view>


namespace ZEL {

class ILogWriter;

enum class TToastAlign { None, Bottom, Center, Top };

class TZELToast;
using TOnAlignmentEvent = std::function<void(TZELToast* ASender, QMargins& AMargins, QPoint& APosition)>;
using TOnToastClick = std::function<void(TZELToast* ASender)>;

class TZELToast : public QObject {
  Q_OBJECT
public:
  static constexpr std::string_view TypeName = "TZELToast";

  explicit TZELToast(QObject* AOwner = nullptr);
  ~TZELToast() override;

  // Shows ToastMessage over AOwner (a window); a toast on screen is replaced at once.
  void Show(QWidget* AOwner);
  // Ends a toast on screen at once, as the end of its fade-out does.
  void Close();

  // Releases the linked object first (when owned), then links AData.
  void LinkData(std::shared_ptr<void> AData, bool AOwnData);
  bool HasLinkedData() const { return FData != nullptr; }
  // The linked object taken as T, unchecked: link and read the same class.
  template <class T>
  T* LinkedData() const {
    return static_cast<T*>(FData.get());
  }

  // Each takes effect at the next Show.
  TToastAlign Align = TToastAlign::Bottom;
  qreal FontSize = 16;
  QColor FontColor = QColor::fromRgba(0xFFFFFFFF);
  QColor BackColor = QColor::fromRgba(0xFF808080);
  std::string ToastMessage = "Toast";
  qreal Delay = 2.0;  // seconds from Show until the fade-out
  bool IsBlock = false;
  TOnAlignmentEvent OnAlignment;
  TOnToastClick OnClick;

  bool IsShowing() const { return FIsShowing; }
  // The band now on screen, or none (tests and the window's look).
  QLabel* ToastRect() const { return FToastRect; }
  QWidget* ToastContainer() const { return FToastContainer; }

signals:
  // The toast on screen has ended (its fade-out, or Close); not when a Show replaced it.
  void Finished();

protected:
  virtual void DoAlignment(QMargins& AMargins, QPoint& APosition);
  virtual void DoClick();
  virtual void DoToastRectClicked();
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
  void CreateContainer(QWidget* AOwner);
  // Sizes the band to its wrapped text and puts it where it covers no control.
  void PlaceBand();
  void DoDisposeContainer();
  void DoDestroyData();
  void OnAnimationFinish();

  QPointer<QWidget> FToastContainer;
  QPointer<QLabel> FToastRect;  // the band and its text in one
  QPointer<QSequentialAnimationGroup> FToastAnimation;
  bool FIsShowing = false;
  std::shared_ptr<void> FData;
  bool FOwnedByToast = false;
  bool FPressedOnBand = false;
  QMargins FMargins;
  QPoint FPosition;
  qreal FLineHeight = 0;
};

}  // namespace ZEL

namespace ZEL::Toast {

// The log writer of every toast; none (the default) writes nothing.
void SetLogWriter(ILogWriter* AWriter);

}  // namespace ZEL::Toast
