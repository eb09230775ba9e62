#include "ZEL.Frames.Reasons.h"

#include "ZEL.Dialogs.h"
#include "ZEL.Edge.h"
#include "ZEL.EdgeService.Interf.h"
#include "ZEL.Events.Event.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Services.Container.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QVBoxLayout>

namespace ZEL {

namespace {

namespace D = EventItems::Decisions;

QString Q(const std::string& AText) { return QString::fromStdString(AText); }

}  // namespace

TfraReasonSelection::TfraReasonSelection(D::TReasonKind AKind, const char* AName, const char* ALayoutPrompt,
                                         QWidget* AParent)
    : QWidget(AParent), FKind(AKind) {
  setObjectName(QString::fromLatin1(AName));
  setAttribute(Qt::WA_StyledBackground);
  setStyleSheet(QStringLiteral("#%1 { background: white; }").arg(objectName()));
  auto* LOuter = new QVBoxLayout(this);
  LOuter->setContentsMargins(0, 0, 0, 0);
  lyContent = new QWidget(this);
  lyContent->setObjectName(QStringLiteral("lyContent"));
  LOuter->addWidget(lyContent);
  auto* LLayout = new QVBoxLayout(lyContent);
  LLayout->setContentsMargins(0, 0, 0, 0);
  LLayout->setSpacing(0);
  lbContentLabel = new QLabel(QString::fromLatin1(ALayoutPrompt), lyContent);
  lbContentLabel->setObjectName(QStringLiteral("lbContentLabel"));
  lbContentLabel->setTextFormat(Qt::PlainText);
  lbContentLabel->setFixedHeight(17);
  lbContentLabel->setStyleSheet(QStringLiteral("font: bold \"Tahoma\";"));
  LLayout->addWidget(lbContentLabel);
  auto* LArea = new QGridLayout();
  lvReasons = new QListWidget(lyContent);
  lvReasons->setObjectName(QStringLiteral("lvReasons"));
  lvReasons->setWordWrap(true);
  lvReasons->setUniformItemSizes(true);
  lvReasons->setTextElideMode(Qt::ElideNone);
  lvReasons->setLayoutDirection(Qt::LeftToRight);
  txtNoReasons = new QLabel(lyContent);
  txtNoReasons->setObjectName(QStringLiteral("txtNoReasons"));
  txtNoReasons->setTextFormat(Qt::PlainText);
  txtNoReasons->setAlignment(Qt::AlignCenter);
  txtNoReasons->setStyleSheet(QStringLiteral("font: bold italic \"Tahoma\";"));
  txtNoReasons->hide();
  LArea->addWidget(lvReasons, 0, 0);
  LArea->addWidget(txtNoReasons, 0, 0, Qt::AlignCenter);
  LLayout->addLayout(LArea, 1);
  connect(lvReasons, &QListWidget::itemClicked, this, [this](QListWidgetItem* AItem) { lvReasonsItemClick(AItem); });
}

void TfraReasonSelection::FillReasons(const TZELEvent& AEvent, const TZELServiceObject* AService) {
  const std::string_view LTag = FKind == D::TReasonKind::Dismiss ? "TfraDismissReasonSelection.FillReasons"
                                                                  : "TfraEscalateReasonSelection.FillReasons";
  FEventState = AEvent.State();
  TZELEdgeObject* LEdge = nullptr;
  if (auto LEdges = Services::Container::ZELServiceLocator()->GetService<IZELEdgeService>())
    LEdge = LEdges->GetEdgeFromOriginator(AEvent.OriginatorPtr());
  if (!LEdge) {
    LogsPipe::ZELLog().Fatal(LTag, "[FATAL ERROR] Unable to locate edge for item: " + AEvent.ToJSON());
    AService = nullptr;
  } else if (!AService) {
    TZELServiceObject* LFirst = nullptr;
    LEdge->HasService(FKind == D::TReasonKind::Dismiss ? TEdgeServiceType::stDismiss : TEdgeServiceType::stEscalate,
                      LFirst);
    AService = LFirst;
  }
  FContent = D::ReasonFrameOf(FKind, AService, FEventState);
  // The escalate prompt is the layout's and never changes.
  if (FKind == D::TReasonKind::Dismiss) lbContentLabel->setText(Q(FContent.Prompt));
  lvReasons->clear();
  for (const D::TReasonRow& LRow : FContent.Rows) {
    // The custom row carries an arrow: it asks for the text.
    auto* LItem = new QListWidgetItem(Q(LRow.Text) + (LRow.Custom ? QStringLiteral("  \u203A") : QString()), lvReasons);
    LItem->setData(Qt::UserRole, LRow.Code);
    LItem->setSizeHint(QSize(0, cRowHeight));
  }
  txtNoReasons->setText(Q(FContent.EmptyText));
  txtNoReasons->setVisible(FContent.Rows.empty());
}

int TfraReasonSelection::GetFrameHeight() const {
  return lbContentLabel->height() + static_cast<int>(FContent.Rows.size()) * cRowHeight +
         (FContent.Rows.empty() ? cRowHeight : 0);
}

void TfraReasonSelection::lvReasonsItemClick(QListWidgetItem* AItem) {
  if (AItem) ChooseRow(lvReasons->row(AItem));
}

void TfraReasonSelection::ChooseRow(int AIndex) {
  if (AIndex < 0 || AIndex >= static_cast<int>(FContent.Rows.size()) || !FHandler) return;
  const D::TReasonRow LRow = FContent.Rows[static_cast<std::size_t>(AIndex)];
  if (!LRow.Custom) {
    Send(D::ChoiceOf(LRow, true, {}));
    return;
  }
  const D::TCustomDialog LDialog = D::CustomDialogOf(FKind);
  Dialogs::Dialogs().InputText(
      this, LDialog.Caption, LDialog.Prompt, LDialog.Default,
      [Self = QPointer<TfraReasonSelection>(this), LRow, LDialog](bool AOk, std::string AValue) {
        if (!Self) return;
        const D::TChoice LChoice = D::ChoiceOf(LRow, AOk, AValue);
        if (LChoice.Send) {
          Self->Send(LChoice);
        } else if (LDialog.CancelMessage) {
          // The frame stays open: the user may choose again.
          Dialogs::Dialogs().ShowMessage(Self, LDialog.CancelMessage, {});
        }
      });
}

void TfraReasonSelection::Send(const D::TChoice& AChoice) {
  // The handler may close this frame: it is called last, with copies.
  if (TUserActionProc LHandler = FHandler) LHandler(AChoice.Code, AChoice.Text);
}

}  // namespace ZEL
