#pragma once
// Pictures for the README, taken over the local stack: only with ZEL_SCREENS_DIR set
// (scripts/render-screens.sh sets it), in the look the start-up window gives the program
// (the other tests run without the style sheet). The stack fixture holds the main window.

#include "ZEL.Style.h"

#include <QApplication>
#include <QDir>
#include <QTest>

#include <cstdlib>
#include <optional>

#include <gtest/gtest.h>

namespace ZEL::Test {

template <class TStackFixture>
class TScreensOf : public TStackFixture {
protected:
  static const char* Folder() { return std::getenv("ZEL_SCREENS_DIR"); }
  static void SetUpTestSuite() {
    if (Folder()) TStackFixture::SetUpTestSuite();
  }
  void SetUp() override {
    if (!Folder()) GTEST_SKIP() << "pictures only with ZEL_SCREENS_DIR";
    PrevSheet = qApp->styleSheet();
    Style::Apply(*qApp);
    TStackFixture::SetUp();
  }
  void TearDown() override {
    TStackFixture::TearDown();
    if (PrevSheet) qApp->setStyleSheet(*PrevSheet);
  }
  void Save(const char* AName) {
    QTest::qWait(400);  // layout, style and a frame's own show settle
    const QString path = QDir(QString::fromLocal8Bit(Folder())).filePath(QString::fromLatin1(AName));
    EXPECT_TRUE(this->Main->grab().save(path, "PNG")) << path.toStdString();
  }
  std::optional<QString> PrevSheet;
};

}  // namespace ZEL::Test
