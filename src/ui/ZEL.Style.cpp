#include "ZEL.Style.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>

#include <mutex>

// Outside any namespace: the resource initialiser is a global function.
static void InitZELResources() { Q_INIT_RESOURCE(zel); }

namespace ZEL::Style {

namespace {

// A static library's resources are not registered by themselves.
void EnsureResources() {
  static std::once_flag LOnce;
  std::call_once(LOnce, InitZELResources);
}

QPixmap Tinted(const QImage& AImage, const QColor& AColor) {
  QImage LImage = AImage.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QPainter LPainter(&LImage);
  LPainter.setCompositionMode(QPainter::CompositionMode_SourceIn);
  LPainter.fillRect(LImage.rect(), AColor);
  LPainter.end();
  return QPixmap::fromImage(LImage);
}

}  // namespace

QString StyleSheet() {
  EnsureResources();
  QFile LFile(QStringLiteral(":/zel/zel.qss"));
  if (!LFile.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(LFile.readAll());
}

void Apply(QApplication& AApp) {
  const QString LSheet = StyleSheet();
  // Setting the same sheet again would restyle every widget for nothing.
  if (AApp.styleSheet() != LSheet) AApp.setStyleSheet(LSheet);
}

QIcon Icon(const char* AName) {
  EnsureResources();
  // Icons are made on the UI thread only; each is read once.
  static QHash<QString, QIcon> LCache;
  const QString LName = QString::fromUtf8(AName);
  if (const auto LFound = LCache.constFind(LName); LFound != LCache.constEnd()) return *LFound;
  const QString LPath = QStringLiteral(":/zel/icons/%1.svg").arg(LName);
  if (!QFile::exists(LPath)) return {};
  QIcon LIcon;
  for (const int LSize : {16, 24, 32, 48, 64}) {
    QImageReader LReader(LPath);
    LReader.setScaledSize(QSize(LSize, LSize));
    const QImage LImage = LReader.read();
    if (LImage.isNull()) continue;
    LIcon.addPixmap(QPixmap::fromImage(LImage), QIcon::Normal, QIcon::Off);
    // The bottom menu's pressed button shows its icon white.
    LIcon.addPixmap(Tinted(LImage, Qt::white), QIcon::Normal, QIcon::On);
  }
  LCache.insert(LName, LIcon);
  return LIcon;
}

QIcon Icon(const char* AName, const QColor& ATint) {
  const QIcon LPlain = Icon(AName);
  QIcon LIcon;
  for (const QSize& LSize : LPlain.availableSizes())
    LIcon.addPixmap(Tinted(LPlain.pixmap(LSize).toImage(), ATint), QIcon::Normal, QIcon::Off);
  return LIcon;
}

}  // namespace ZEL::Style
