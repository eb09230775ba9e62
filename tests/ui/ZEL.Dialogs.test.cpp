// Where message boxes and the secondary windows open: over their own window, whole on its
// screen, also for a sign-in view whose content is shown by the start-up window.

#include "TestSupport.h"
#include "ZEL.Dialogs.h"
#include "ZEL.Forms.Placement.h"
#include "ZEL.UI.TestSupport.h"
#include "ZEL.View.Login.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace ZEL::Test {
namespace {

namespace P = Forms::Placement;

TEST(WindowPlacement, CentredOverItsWindowAndWholeOnTheScreen) {
  const QRect screen(0, 0, 800, 600);
  const struct {
    const char* Name;
    QSize Frame;
    QRect Over;
    QPoint Expected;
  } cases[] = {
      {"centred", {200, 100}, {100, 100, 400, 300}, {200, 200}},
      {"past the left edge", {484, 332}, {0, 0, 444, 640}, {0, 154}},
      {"past the right and bottom edges", {300, 300}, {600, 450, 200, 150}, {500, 300}},
      {"larger than the screen", {900, 700}, {0, 0, 400, 300}, {0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(P::CentredWithin(c.Frame, c.Over, screen), c.Expected) << c.Name;
}

QMessageBox* OpenBox() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
  return nullptr;
}

// The Login view lends its content to the start-up window and stays hidden itself: the box of
// its own input check opens centred over the start-up window.
TEST(MessageBoxes, ASignInViewsCheckOpensCentredOverTheWindowShowingIt) {
  Dialogs::SetDialogService(nullptr);
  QWidget window;
  window.setGeometry(300, 40, 380, 536);
  new QVBoxLayout(&window);
  TRecordingHost host;
  TLoginForm view;
  view.InitView(TView::Login, &host, &window);
  view.Enter(TView::Authorize);
  view.ShowView();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  view.btnLoginClick();  // nothing typed
  QMessageBox* box = OpenBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->parentWidget(), &window);
  const QPoint offset = box->frameGeometry().center() - window.frameGeometry().center();
  EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
  Dialogs::Dialogs().CloseAll();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
}  // namespace ZEL::Test
