#include <gtest/gtest.h>

#include "ZEL.Style.h"

#include <QApplication>
#include <QImage>

using namespace ZEL;

TEST(Style, SheetIsAppliedOnceAndTargetsTheNamedWidgets) {
  auto* LApp = qobject_cast<QApplication*>(QCoreApplication::instance());
  ASSERT_NE(LApp, nullptr);
  const QString LBefore = LApp->styleSheet();
  Style::Apply(*LApp);
  const QString LSheet = LApp->styleSheet();
  Style::Apply(*LApp);
  EXPECT_EQ(LApp->styleSheet(), LSheet);
  for (const char* LName : {"#rectContainer", "#PanelBottom", "#sbtnEvents", "#sbtnDevices", "#sbtnProfile",
                            "#tbMainForm", "#sbtnBack", "#lbVersion", "#pnlDetails"})
    EXPECT_TRUE(LSheet.contains(QLatin1String(LName))) << LName;
  LApp->setStyleSheet(LBefore);  // other tests run without it
}

TEST(Style, MenuIconsAreGreyAndWhiteWhenChecked) {
  for (const char* LName : {"alerts", "devices", "profile", "back", "arrow", "lock", "logo"})
    EXPECT_FALSE(Style::Icon(LName).isNull()) << LName;
  EXPECT_TRUE(Style::Icon("no-such-icon").isNull());

  const QIcon LIcon = Style::Icon("profile");
  const QImage LOff = LIcon.pixmap(QSize(48, 48), QIcon::Normal, QIcon::Off).toImage();
  const QImage LOn = LIcon.pixmap(QSize(48, 48), QIcon::Normal, QIcon::On).toImage();
  // The head's centre.
  const QPoint LHead(24, 15);
  EXPECT_EQ(QColor(LOff.pixel(LHead)).name(), "#959895");
  EXPECT_EQ(QColor(LOn.pixel(LHead)).name(), "#ffffff");
  EXPECT_EQ(qAlpha(LOn.pixel(1, 1)), 0);  // the background stays clear
}
