#include "ZEL.ActionsPanel.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QResizeEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace ZEL::ActionsPanel {

namespace {

QLabel* PlainLabel(const std::string& AText, QWidget* AParent, const char* AName, const char* AStyle) {
  auto* LLabel = new QLabel(AParent);
  // Texts from the edge are never rich text.
  LLabel->setTextFormat(Qt::PlainText);
  LLabel->setText(QString::fromStdString(AText));
  LLabel->setObjectName(QString::fromLatin1(AName));
  LLabel->setStyleSheet(QString::fromLatin1(AStyle));
  return LLabel;
}

}  // namespace

QWidget* RowWidget(const std::string& ACaption, const std::string& ADescription) {
  auto* LRow = new QWidget();
  // Clicks belong to the list: it runs the row's service.
  LRow->setAttribute(Qt::WA_TransparentForMouseEvents);
  auto* LLayout = new QHBoxLayout(LRow);
  LLayout->setContentsMargins(6, 2, 10, 2);
  auto* LTexts = new QVBoxLayout();
  LTexts->setSpacing(0);
  auto* LCaption = PlainLabel(ACaption, LRow, "Caption", "font: bold 11pt \"Tahoma\";");
  LCaption->setWordWrap(true);
  auto* LDescription = PlainLabel(ADescription, LRow, "Description", "font: 11pt \"Tahoma\";");
  // A description longer than the row goes on below, never cut off.
  LDescription->setWordWrap(true);
  LTexts->addWidget(LCaption);
  LTexts->addWidget(LDescription);
  LTexts->addStretch(1);
  LLayout->addLayout(LTexts, 1);
  auto* LArrow = PlainLabel("\u203A", LRow, "DoAction", "font: bold 16pt; color: #808080;");
  LArrow->setFixedWidth(31);
  LArrow->setAlignment(Qt::AlignCenter);
  LLayout->addWidget(LArrow);
  return LRow;
}

TRowFitter::TRowFitter(QListWidget* AList, int AMinHeight, std::function<void(int)> AOnFitted)
    : QObject(AList), FList(AList), FMinHeight(AMinHeight), FOnFitted(std::move(AOnFitted)) {
  // Rows of different heights: the list must not take the first row's for all.
  FList->setUniformItemSizes(false);
  FList->viewport()->installEventFilter(this);
}

int TRowFitter::Fit() {
  // A list never laid out has no width worth measuring at; its first resize fits again.
  const int LListWidth = FList->isVisible() ? FList->viewport()->width() : -1;
  int LTotal = 0;
  for (int i = 0; i < FList->count(); ++i) {
    QListWidgetItem* LItem = FList->item(i);
    int LHeight = FMinHeight;
    QWidget* LWidget = FList->itemWidget(LItem);
    if (LWidget && LListWidth > 0) {
      LWidget->installEventFilter(this);
      // Measured in the fonts the style sheets give, not in the default ones.
      LWidget->ensurePolished();
      // A row the list has placed tells what the item's padding leaves of it; before that,
      // the list's width is the best guess, and the row's own resize fits it again.
      int LWidth = LListWidth;
      int LChrome = 0;
      if (LWidget->isVisible() && LWidget->width() > 0) {
        LWidth = LWidget->width();
        LChrome = std::max(0, FList->visualItemRect(LItem).height() - LWidget->height());
      }
      LHeight = std::max(FMinHeight, LWidget->heightForWidth(LWidth) + LChrome);
    }
    if (LItem->sizeHint().height() != LHeight) LItem->setSizeHint(QSize(0, LHeight));
    LTotal += LHeight;
  }
  return LTotal + 2 * FList->frameWidth();
}

bool TRowFitter::eventFilter(QObject* AWatched, QEvent* AEvent) {
  // The list's width changed, or the list gave a row another width. Fitted once control is
  // back in the event loop: measuring makes the list lay its rows out, which resizes them.
  if (AEvent->type() == QEvent::Resize && !FQueued) {
    const auto* LResize = static_cast<QResizeEvent*>(AEvent);
    if (LResize->size().width() != LResize->oldSize().width()) {
      FQueued = true;
      QMetaObject::invokeMethod(
          this,
          [this] {
            FQueued = false;
            const int LTotal = Fit();
            if (FOnFitted) FOnFitted(LTotal);
          },
          Qt::QueuedConnection);
    }
  }
  return QObject::eventFilter(AWatched, AEvent);
}

}  // namespace ZEL::ActionsPanel
