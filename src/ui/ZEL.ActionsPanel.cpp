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
  const int LWidth = FList->isVisible() ? FList->viewport()->width() : -1;
  int LTotal = 0;
  for (int i = 0; i < FList->count(); ++i) {
    QListWidgetItem* LItem = FList->item(i);
    int LHeight = FMinHeight;
    if (QWidget* LWidget = FList->itemWidget(LItem); LWidget && LWidth > 0)
      LHeight = std::max(FMinHeight, LWidget->heightForWidth(LWidth));
    if (LItem->sizeHint().height() != LHeight) LItem->setSizeHint(QSize(0, LHeight));
    LTotal += LHeight;
  }
  return LTotal + 2 * FList->frameWidth();
}

bool TRowFitter::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AWatched == FList->viewport() && AEvent->type() == QEvent::Resize) {
    const auto* LResize = static_cast<QResizeEvent*>(AEvent);
    if (LResize->size().width() != LResize->oldSize().width()) {
      const int LTotal = Fit();
      if (FOnFitted) FOnFitted(LTotal);
    }
  }
  return QObject::eventFilter(AWatched, AEvent);
}

}  // namespace ZEL::ActionsPanel
