#pragma once
// The progress overlay: a green band with a spinner and a message across the middle of
// the window, a pulsing lock at the bottom; it covers the whole window and swallows every
// click on it.

#include <QPointer>
#include <QWidget>

#include <string>

class QLabel;
class QVariantAnimation;
class QSequentialAnimationGroup;

namespace ZEL {

class TWaitFrame : public QWidget {
  Q_OBJECT
public:
  static constexpr const char* DefaultText = "Please wait...";

  explicit TWaitFrame(QWidget* AParent = nullptr);

  std::string MessageText() const;
  void SetMessageText(const std::string& AText);
  // With ASync the text is set through a synchronous hand-over to the UI thread (at once on it).
  void UpdateMessageText(const std::string& AText, bool ASync);

  void StartAnimations();
  // While shown the overlay holds the keyboard focus and swallows every key, so no key
  // reaches the widgets beneath it; the focus goes back where it was when it hides.
  void TakeKeyboard();
  void GiveKeyboardBack();
  // How often the animations were started (tests).
  int AnimationStarts() const { return FAnimationStarts; }

protected:
  bool event(QEvent* AEvent) override;
  void mousePressEvent(QMouseEvent* AEvent) override;
  void mouseReleaseEvent(QMouseEvent* AEvent) override;
  void mouseDoubleClickEvent(QMouseEvent* AEvent) override;
  void wheelEvent(QWheelEvent* AEvent) override;
  void paintEvent(QPaintEvent* AEvent) override;

private:
  QLabel* MessageLabel;
  QWidget* BackgroundRectangle;
  QWidget* lySpinner;
  QWidget* Image1;
  QVariantAnimation* aniProgress;
  QSequentialAnimationGroup* aniLock;
  int FAnimationStarts = 0;
  QPointer<QWidget> FPreviousFocus;
};

}  // namespace ZEL
