#include "ZEL.View.Event.Item.Details.h"

#include "ZEL.ActionsPanel.h"
#include "ZEL.Dialogs.h"
#include "ZEL.Edge.JSON.h"
#include "ZEL.Edge.h"
#include "ZEL.EdgeService.Interf.h"
#include "ZEL.Events.Event.h"
#include "ZEL.Events.Item.h"
#include "ZEL.Events.List.h"
#include "ZEL.Events.Service.Interf.h"
#include "ZEL.Exceptions.h"
#include "ZEL.ExceptionReporter.h"
#include "ZEL.Forms.TextView.h"
#include "ZEL.Forms.WebView.h"
#include "ZEL.FrameStand.h"
#include "ZEL.Frames.PauseVariants.h"
#include "ZEL.ItemDetails.Decisions.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Messaging.Messages.h"
#include "ZEL.REST.Service.Interf.h"
#include "ZEL.Secrets.h"
#include "ZEL.Services.Container.h"
#include "ZEL.Style.h"
#include "ZEL.UIThread.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedLayout>
#include <QTabWidget>
#include <QThreadPool>
#include <QVBoxLayout>

#include <exception>

namespace ZEL {

namespace {

namespace D = ItemDetails::Decisions;
using Edge::JSON::SameID;

constexpr std::string_view cEnterTag = "TEventItemDetailsForm.Enter";
constexpr std::string_view cServicesTag = "TEventItemDetailsForm.FillServices";
constexpr std::string_view cClickTag = "TEventItemDetailsForm.lvDataItemClick";
constexpr std::string_view cRunTag = "TEventItemDetailsForm.lvServicesItemClick";

constexpr int cKindRole = Qt::UserRole + 1;   // TRowKind
constexpr int cIdRole = Qt::UserRole + 2;     // TagString: attachment id, or the condition id
constexpr int cTagRole = Qt::UserRole + 3;    // Tag: device group, or the service type
constexpr int cTurnOnRole = Qt::UserRole + 4; // TagFloat: 1 for rows that turn the condition on
constexpr int cLongRole = Qt::UserRole + 5;   // an info value too long for its row

constexpr int cInfoTextWidth = 409;
constexpr int cAccessoryWidth = 30;
constexpr int cServiceRowHeight = 44;
constexpr int cServicesHeaderHeight = 33;

ILogWriter& Log() { return LogsPipe::ZELLog(); }

QString Q(std::string_view AText) { return QString::fromUtf8(AText.data(), static_cast<qsizetype>(AText.size())); }

QLabel* PlainLabel(const QString& AText, QWidget* AParent, const char* AName = nullptr) {
  auto* LLabel = new QLabel(AParent);
  // Network text is never rich text.
  LLabel->setTextFormat(Qt::PlainText);
  LLabel->setText(AText);
  if (AName) LLabel->setObjectName(QString::fromLatin1(AName));
  return LLabel;
}

QListWidgetItem* AddRow(QListWidget* AList, TEventItemDetailsForm::TRowKind AKind, const QString& AText = {}) {
  auto* LItem = new QListWidgetItem(AList);
  LItem->setData(cKindRole, static_cast<int>(AKind));
  if (AKind != TEventItemDetailsForm::TRowKind::Plain) {
    LItem->setText(AText);
    LItem->setFlags(Qt::ItemIsEnabled);
    if (AKind == TEventItemDetailsForm::TRowKind::Header) {
      QFont LFont = AList->font();
      LFont.setBold(true);
      LItem->setFont(LFont);
    }
  }
  return LItem;
}

// The download address as the log may show it: the ID token masked.
std::string LoggableURL(const std::string& AURL) {
  const std::string LKey = "AuthToken=";
  const auto LAt = AURL.find(LKey);
  if (LAt == std::string::npos) return AURL;
  const auto LStart = LAt + LKey.size();
  const auto LEnd = AURL.find('&', LStart);
  const std::string LToken = AURL.substr(LStart, LEnd == std::string::npos ? std::string::npos : LEnd - LStart);
  return AURL.substr(0, LStart) + Secrets::Mask(LToken) + (LEnd == std::string::npos ? "" : AURL.substr(LEnd));
}

// One attachment row: image, state, title, detail and the accessory of a ready one.
class TAttachmentRowWidget : public QWidget {
public:
  explicit TAttachmentRowWidget(QWidget* AParent) : QWidget(AParent) {
    setFixedHeight(50);
    auto* LLayout = new QHBoxLayout(this);
    LLayout->setContentsMargins(2, 2, 4, 2);
    auto* LLeft = new QVBoxLayout();
    I = new QLabel(this);
    I->setObjectName(QStringLiteral("I"));
    I->setFixedSize(24, 24);
    State = PlainLabel({}, this, "State");
    State->setStyleSheet(QStringLiteral("font: bold 9pt \"Tahoma\";"));
    // One column for every state, so titles line up from row to row.
    QFont LBold = State->font();
    LBold.setBold(true);
    LBold.setPointSize(9);
    State->setFixedWidth(QFontMetrics(LBold).horizontalAdvance(QStringLiteral("UPLOADING")) + 6);
    LLeft->addWidget(I);
    LLeft->addWidget(State);
    auto* LMiddle = new QVBoxLayout();
    T = PlainLabel({}, this, "T");
    D = PlainLabel({}, this, "D");
    D->setStyleSheet(QStringLiteral("color: grey;"));
    LMiddle->addWidget(T);
    LMiddle->addWidget(D);
    A = PlainLabel(QStringLiteral("›"), this, "A");
    A->setFixedWidth(25);
    LLayout->addLayout(LLeft);
    LLayout->addLayout(LMiddle, 1);
    LLayout->addWidget(A);
  }
  QLabel* I;
  QLabel* State;
  QLabel* T;
  QLabel* D;
  QLabel* A;
};

class TInfoRowWidget : public QWidget {
public:
  TInfoRowWidget(const QString& AValue, bool ALong, QWidget* AParent) : QWidget(AParent) {
    setFixedHeight(44);
    auto* LLayout = new QHBoxLayout(this);
    LLayout->setContentsMargins(4, 0, 4, 0);
    QString LShown = AValue;
    LShown.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    auto* LText = PlainLabel(LShown, this, "Text");
    const int LWidth = cInfoTextWidth - (ALong ? cAccessoryWidth : 0);
    LText->setText(LText->fontMetrics().elidedText(LShown, Qt::ElideRight, LWidth));
    LText->setToolTip(QString());
    LLayout->addWidget(LText, 1);
    auto* LAccessory = PlainLabel(QStringLiteral("…"), this, "Accessory");
    LAccessory->setFixedWidth(cAccessoryWidth);
    LAccessory->setVisible(ALong);
    LLayout->addWidget(LAccessory);
  }
};

}  // namespace

TEventItemDetailsForm::TEventItemDetailsForm(QWidget* AParent) : TBaseFormView(AParent) {
  setObjectName(QStringLiteral("EventItemDetails"));
  setWindowTitle(QStringLiteral("Event Item Details"));
  resize(412, 568);
  auto* LLayout = View::Base::AddContentsPanel(this, lyContents);

  tcMain = new QTabWidget(lyContents);
  tcMain->setObjectName(QStringLiteral("tcMain"));
  LLayout->addWidget(tcMain);

  // Info: the pairs, the services panel below them and the floating "Actions" button.
  tabItemInfo = new QWidget();
  tabItemInfo->setObjectName(QStringLiteral("tabItemInfo"));
  auto* LInfo = new QVBoxLayout(tabItemInfo);
  LInfo->setContentsMargins(0, 0, 0, 0);
  lvEventInfo = new QListWidget(tabItemInfo);
  lvEventInfo->setObjectName(QStringLiteral("lvEventInfo"));
  lvEventInfo->setAlternatingRowColors(true);
  lvEventInfo->setSelectionMode(QAbstractItemView::SingleSelection);
  LInfo->addWidget(lvEventInfo, 1);

  lyServices = new QWidget(tabItemInfo);
  lyServices->setObjectName(QStringLiteral("lyServices"));
  auto* LServices = new QVBoxLayout(lyServices);
  LServices->setContentsMargins(0, 0, 0, 0);
  LServices->setSpacing(0);
  lyServicesHeader = new QWidget(lyServices);
  lyServicesHeader->setObjectName(QStringLiteral("lyServicesHeader"));
  lyServicesHeader->setFixedHeight(cServicesHeaderHeight);
  auto* LHeader = new QHBoxLayout(lyServicesHeader);
  LHeader->setContentsMargins(4, 1, 4, 1);
  auto* LServicesLabel = new QLabel(QStringLiteral("Services:"), lyServicesHeader);
  LServicesLabel->setStyleSheet(QStringLiteral("font: bold \"Tahoma\";"));
  btnHideServicesPanel = new QPushButton(QStringLiteral("Hide"), lyServicesHeader);
  btnHideServicesPanel->setObjectName(QStringLiteral("btnHideServicesPanel"));
  btnHideServicesPanel->setFixedSize(80, 31);
  LHeader->addWidget(LServicesLabel);
  LHeader->addStretch(1);
  LHeader->addWidget(btnHideServicesPanel);
  LServices->addWidget(lyServicesHeader);
  auto* LContent = new QWidget(lyServices);
  LContent->setObjectName(QStringLiteral("lyServicesContent"));
  auto* LStack = new QStackedLayout(LContent);
  LStack->setStackingMode(QStackedLayout::StackAll);
  txtNoServices = new QLabel(QStringLiteral("No services available."), LContent);
  txtNoServices->setObjectName(QStringLiteral("txtNoServices"));
  txtNoServices->setAlignment(Qt::AlignCenter);
  txtNoServices->setStyleSheet(QStringLiteral("font: bold italic \"Tahoma\";"));
  lvServices = new QListWidget(LContent);
  lvServices->setObjectName(QStringLiteral("lvServices"));
  // Rows as high as their wrapped descriptions; the open panel follows.
  FServiceFitter = new ActionsPanel::TRowFitter(lvServices, cServiceRowHeight, [this](int) {
    if (!lyServices->isHidden()) AdjustServicesPanelHeight();
  });
  LStack->addWidget(txtNoServices);
  LStack->addWidget(lvServices);
  LServices->addWidget(LContent, 1);
  lyServices->hide();
  LInfo->addWidget(lyServices);

  btnServices = new QPushButton(QStringLiteral("Actions"), tabItemInfo);
  btnServices->setObjectName(QStringLiteral("btnServices"));
  btnServices->setFixedSize(70, 55);
  btnServices->setStyleSheet(QStringLiteral("QPushButton { padding: 2px; }"));
  btnServices->hide();
  tabItemInfo->installEventFilter(this);

  // Images/Clips: the attachments by device.
  tabItemExtra = new QWidget();
  tabItemExtra->setObjectName(QStringLiteral("tabItemExtra"));
  auto* LExtra = new QVBoxLayout(tabItemExtra);
  LExtra->setContentsMargins(0, 0, 0, 0);
  auto* LTitle = new QLabel(QStringLiteral("Attachments"), tabItemExtra);
  LTitle->setFixedHeight(33);
  LTitle->setStyleSheet(QStringLiteral("font-weight: bold;"));
  lvItemExtraList = new QListWidget(tabItemExtra);
  lvItemExtraList->setObjectName(QStringLiteral("lvItemExtraList"));
  LExtra->addWidget(LTitle);
  LExtra->addWidget(lvItemExtraList, 1);

  tcMain->addTab(tabItemInfo, QStringLiteral("Info"));
  tcMain->addTab(tabItemExtra, QStringLiteral("Images/Clips"));

  // The frames (the pause frame) show on an alice blue rectangle over the whole content.
  rectServiceFrame = new QWidget(lyContents);
  rectServiceFrame->setObjectName(QStringLiteral("rectServiceFrame"));
  rectServiceFrame->setAutoFillBackground(true);
  QPalette LPalette = rectServiceFrame->palette();
  LPalette.setColor(QPalette::Window, QColor(0xF0, 0xF8, 0xFF));
  rectServiceFrame->setPalette(LPalette);
  rectServiceFrame->hide();
  lyContents->installEventFilter(this);
  fraStand = new TFrameStand(rectServiceFrame);

  connect(btnServices, &QPushButton::clicked, this, [this] { btnServicesClick(); });
  connect(btnHideServicesPanel, &QPushButton::clicked, this, [this] { btnHideServicesPanelClick(); });
  connect(lvEventInfo, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* AItem) { InfoRowDoubleClick(lvEventInfo->row(AItem)); });
  // A single click on an attachment does nothing; a double click opens it.
  connect(lvItemExtraList, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* AItem) { AttachmentRowDoubleClick(lvItemExtraList->row(AItem)); });
  connect(lvServices, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* AItem) { ServiceRowClick(lvServices->row(AItem)); });

  FIEventItemUpdate =
      TZELMessager<TEventItemExtraRefreshMessage>::Subscribe(this, &TEventItemDetailsForm::Messaging_ExtraRefresh);
  FServiceRequestPerformed = TZELMessager<TConditionStateChangeMessage>::Subscribe(
      this, &TEventItemDetailsForm::Messaging_ConditionStateChange);
}

TEventItemDetailsForm::~TEventItemDetailsForm() {
  FLife.reset();
  TZELMessager<TEventItemExtraRefreshMessage>::Unsubscribe(FIEventItemUpdate);
  TZELMessager<TConditionStateChangeMessage>::Unsubscribe(FServiceRequestPerformed);
}

void TEventItemDetailsForm::InitView(TView AView, IViewHost* AViewHost, QWidget* AParentControl) {
  TBaseFormView::InitView(AView, AViewHost, AParentControl);
}

QWidget* TEventItemDetailsForm::FormContent() { return lyContents; }

std::string TEventItemDetailsForm::FormCaption() {
  if (TZELEventItem* LItem = CurrentItem()) return LItem->Caption();
  return std::string(D::cNoItemCaption);
}

void TEventItemDetailsForm::BackAction() {
  if (tcMain->currentWidget() == tabItemExtra) tcMain->setCurrentWidget(tabItemInfo);
}

bool TEventItemDetailsForm::MediaTabVisible() const { return tcMain->isTabVisible(tcMain->indexOf(tabItemExtra)); }

// --- lookups -------------------------------------------------------------------------------

TZELEventItem* TEventItemDetailsForm::CurrentItem() const {
  if (FItemID.empty()) return nullptr;
  const std::shared_ptr<IZELEventsService> LService = FEventsService.lock();
  TZELEventList* LList = LService ? LService->GetEventsList() : nullptr;
  return LList ? LList->FindItemByID(FEventID, FItemID) : nullptr;
}

std::shared_ptr<IZELEdgeService> TEventItemDetailsForm::EdgeService() const {
  return Services::Container::ZELServiceLocator()->GetService<IZELEdgeService>();
}

TZELConditionObject* TEventItemDetailsForm::CurrentCondition() const {
  TZELEventItem* LItem = CurrentItem();
  const std::shared_ptr<IZELEdgeService> LEdges = EdgeService();
  if (!LItem || !LEdges) return nullptr;
  TZELEdgeObject* LEdge = LEdges->GetEdgeFromOriginator(const_cast<TZELOriginatorDevice*>(&LItem->Originator()));
  TZELConditionObject* LCondition = nullptr;
  if (LEdge) LEdge->HasCondition(LItem->Originator().ID(), LCondition);
  return LCondition;
}

TEventItemDetailsForm::TRowKind TEventItemDetailsForm::KindOf(const QListWidgetItem* AItem) {
  return AItem ? static_cast<TRowKind>(AItem->data(cKindRole).toInt()) : TRowKind::Footer;
}

std::string TEventItemDetailsForm::IdOf(const QListWidgetItem* AItem) {
  return AItem ? AItem->data(cIdRole).toString().toStdString() : std::string();
}

std::string TEventItemDetailsForm::StateTextOf(QListWidget* AList, int ARow) {
  auto* LRow = dynamic_cast<TAttachmentRowWidget*>(AList->itemWidget(AList->item(ARow)));
  return LRow ? LRow->State->text().toStdString() : std::string();
}

// --- entering and leaving ------------------------------------------------------------------

void TEventItemDetailsForm::Enter(TView AFromView) {
  TBaseFormView::Enter(AFromView);
  tcMain->setCurrentWidget(tabItemInfo);
  lyServices->hide();
  FEventID.clear();
  FItemID.clear();
  try {
    std::shared_ptr<IZELEventsService> LService = Services::Container::ZELServiceLocator()->GetService<IZELEventsService>();
    FEventsService = LService;
    // An alert that left the list comes from the backend, never on this thread.
    const std::string LEventID = LService ? LService->GetDetailedEventID() : std::string();
    TZELEventList* LList = LService ? LService->GetEventsList() : nullptr;
    if (!LEventID.empty() && LList && !LList->EventExists(LEventID)) {
      FillItemInfo();
      FillAttachments();
      FillServices();
      PlaceActionsButton();
      StartLoadingEvent(LEventID);
      return;
    }
  } catch (const std::exception& E) {
    Log().FatalFmt(cEnterTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
  }
  ShowChosenItem();
}

void TEventItemDetailsForm::ShowChosenItem() {
  try {
    const std::shared_ptr<IZELEventsService> LService = FEventsService.lock();
    TZELEventList* LList = LService ? LService->GetEventsList() : nullptr;
    // Only an alert in the list: asking for the item must not reach the backend.
    if (LList && LList->EventExists(LService->GetDetailedEventID())) {
      if (TZELEventItem* LItem = LService->GetDetailedEventItem()) {
        FItemID = LItem->ID();
        FEventID = LItem->EventID();
      }
    }
    FillItemInfo();
    FillAttachments();
    FillServices();
  } catch (const std::exception& E) {
    Log().FatalFmt(cEnterTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
    Dialogs::Dialogs().ShowMessage(this, "Unable to show the item: " + std::string(E.what()), nullptr);
  }
  PlaceActionsButton();
}

void TEventItemDetailsForm::StartLoadingEvent(const std::string& AEventID) {
  const std::shared_ptr<IZELRESTService> LRest =
      Services::Container::ZELServiceLocator()->GetService<IZELRESTService>();
  if (IViewHost* LHost = GetViewHost()) LHost->ShowProgress(std::string(cLoadingText), false);
  // Both services held weakly: a sign-out meanwhile ends the task quietly.
  const std::weak_ptr<int> LLife = FLife;
  const std::weak_ptr<IZELEventsService> LWeakService = FEventsService;
  const std::weak_ptr<IZELRESTService> LWeakRest = LRest;
  QThreadPool::globalInstance()->start([this, LLife, LWeakService, LWeakRest, AEventID] {
    ExceptionReporter::Guarded(cEnterTag, [&] {
      // Taken for the call, released on the UI thread: the service is never freed here.
      std::shared_ptr<IZELRESTService> LTaskRest = LWeakRest.lock();
      nlohmann::ordered_json LEvents;
      bool LGot = false;
      std::string LError;
      try {
        LGot = LTaskRest && LTaskRest->GetEvent(AEventID, LEvents);
      } catch (const std::exception& E) {
        Log().FatalFmt(cEnterTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
        LError = E.what();
      }
      UIThread::RunSync([&] {
        LTaskRest.reset();
        if (LLife.expired()) return;
        if (IViewHost* LHost = GetViewHost()) LHost->HideProgress();
        const std::shared_ptr<IZELEventsService> LService = LWeakService.lock();
        if (!LService) return;
        TZELEventList* LList = LService->GetEventsList();
        if (LGot && LList) {
          try {
            if (!LList->EventExists(AEventID)) LList->ReadFromJSONArray(std::move(LEvents), true);
          } catch (const std::exception& E) {
            Log().FatalFmt(cEnterTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
            LError = E.what();
          }
        } else if (LError.empty()) {
          Log().Error(cEnterTag, "Unable to get event with ID \"" + AEventID + "\"!");
        }
        // Left, or another alert chosen meanwhile: that entry shows its own.
        if (!Active() || LService->GetDetailedEventID() != AEventID) return;
        if (!LError.empty()) {
          Dialogs::Dialogs().ShowMessage(this, "Unable to show the item: " + LError, nullptr);
          return;
        }
        ShowChosenItem();
      });
    });
  });
}

void TEventItemDetailsForm::Leave(TView AToView) {
  Cleanup();
  if (const std::shared_ptr<IZELEventsService> LService = FEventsService.lock()) LService->SetDetailedEventItem("");
  FEventID.clear();
  FItemID.clear();
  TBaseFormView::Leave(AToView);
}

void TEventItemDetailsForm::Cleanup() {
  Forms::WebView::CloseWebView();
  ClosePauseFrames();
  lvItemExtraList->clear();
  lvEventInfo->clear();
  lvServices->clear();
  lyServices->hide();
  btnServices->hide();
}

bool TEventItemDetailsForm::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AEvent->type() == QEvent::Resize) {
    if (AWatched == lyContents) rectServiceFrame->setGeometry(lyContents->rect().adjusted(10, 10, -10, -10));
    if (AWatched == tabItemInfo) PlaceActionsButton();
  }
  return TBaseFormView::eventFilter(AWatched, AEvent);
}

void TEventItemDetailsForm::PlaceActionsButton() {
  constexpr int cMargin = 10;
  btnServices->move(tabItemInfo->width() - btnServices->width() - cMargin,
                    tabItemInfo->height() - btnServices->height() - cMargin);
  btnServices->raise();
}

// --- info ----------------------------------------------------------------------------------

void TEventItemDetailsForm::FillItemInfo() {
  lvEventInfo->setUpdatesEnabled(false);
  lvEventInfo->clear();
  TZELEventItem* LItem = CurrentItem();
  bool LMedia = false;
  try {
    if (LItem) {
      const QFontMetrics LMetrics(lvEventInfo->font());
      for (const D::TInfoPair& LPair : D::InfoPairs(*LItem)) {
        if (!LPair.Label.empty()) AddRow(lvEventInfo, TRowKind::Header, QString::fromStdString(LPair.Label));
        const QString LValue = QString::fromStdString(LPair.Value);
        const bool LLong = LMetrics.horizontalAdvance(LValue) > cInfoTextWidth || LValue.contains(QLatin1Char('\n')) ||
                           LValue.contains(QLatin1Char('\r'));
        QListWidgetItem* LRow = AddRow(lvEventInfo, TRowKind::Plain);
        LRow->setData(cIdRole, LValue);
        LRow->setData(cLongRole, LLong);
        auto* LWidget = new TInfoRowWidget(LValue, LLong, lvEventInfo);
        LRow->setSizeHint(QSize(0, LWidget->height()));
        lvEventInfo->setItemWidget(LRow, LWidget);
      }
      LMedia = D::HasMedia(*LItem);
    }
  } catch (...) {
    lvEventInfo->setUpdatesEnabled(true);
    tcMain->setTabVisible(tcMain->indexOf(tabItemExtra), false);
    throw;
  }
  lvEventInfo->setUpdatesEnabled(true);
  tcMain->setTabVisible(tcMain->indexOf(tabItemExtra), LMedia);
}

void TEventItemDetailsForm::InfoRowDoubleClick(int ARow) {
  QListWidgetItem* LRow = lvEventInfo->item(ARow);
  if (KindOf(LRow) != TRowKind::Plain || !LRow->data(cLongRole).toBool()) return;
  TfrmTextView::ShowView(LRow->data(cIdRole).toString().toStdString(), window());
}

// --- attachments ---------------------------------------------------------------------------

void TEventItemDetailsForm::FillAttachments() {
  lvItemExtraList->setUpdatesEnabled(false);
  lvItemExtraList->clear();
  struct TEnd {
    QListWidget* List;
    ~TEnd() { List->setUpdatesEnabled(true); }
  } LEnd{lvItemExtraList};
  TZELEventItem* LItem = CurrentItem();
  if (!LItem) return;
  const std::vector<D::TDeviceGroup> LGroups = D::GroupByDevice(*LItem);
  for (std::size_t g = 0; g < LGroups.size(); ++g) {
    QListWidgetItem* LHeader = AddRow(lvItemExtraList, TRowKind::Header, QString::fromStdString(LGroups[g].Name));
    LHeader->setForeground(QColor(0x22, 0x8B, 0x22));
    for (const std::string& LID : LGroups[g].ExtraIDs) {
      QListWidgetItem* LRow = AddRow(lvItemExtraList, TRowKind::Plain);
      LRow->setData(cIdRole, QString::fromStdString(LID));
      LRow->setData(cTagRole, static_cast<int>(g));
      auto* LWidget = new TAttachmentRowWidget(lvItemExtraList);
      LRow->setSizeHint(QSize(0, LWidget->height()));
      lvItemExtraList->setItemWidget(LRow, LWidget);
      LayoutAttachmentRow(LRow);
    }
    if (g + 1 < LGroups.size()) AddRow(lvItemExtraList, TRowKind::Footer);
  }
}

void TEventItemDetailsForm::LayoutAttachmentRow(QListWidgetItem* AItem) {
  if (KindOf(AItem) != TRowKind::Plain) return;
  auto* LWidget = dynamic_cast<TAttachmentRowWidget*>(lvItemExtraList->itemWidget(AItem));
  TZELEventItem* LItem = CurrentItem();
  TEventExtraDataItem* LExtra = LItem ? LItem->FindItem(IdOf(AItem)) : nullptr;
  if (!LWidget || !LExtra) return;
  const D::TStateLook LLook = D::StateLook(LExtra->State());
  LWidget->State->setText(Q(LLook.Text));
  LWidget->State->setStyleSheet(QStringLiteral("font: bold 9pt \"Tahoma\"; color: %1;")
                                    .arg(QColor::fromRgba(LLook.Colour).name(QColor::HexRgb)));
  LWidget->A->setVisible(LLook.Openable);
  LWidget->T->setText(QString::fromStdString(LExtra->Caption()));
  LWidget->D->setText(QString::fromStdString(LExtra->Text()));
  // "extra_image" for a picture, "extra_clip" for a video, none otherwise.
  const char* LIcon = LExtra->DataType() == 1 ? "extra_image" : (LExtra->DataType() <= 3 ? "extra_clip" : "");
  LWidget->I->setPixmap(*LIcon ? Style::Icon(LIcon).pixmap(24, 24) : QPixmap());
  LWidget->I->setToolTip(QString::fromLatin1(LIcon));
}

void TEventItemDetailsForm::UpdateItemStatus(const std::string& AItemID, const std::string& AExtraID) {
  if (FItemID.empty() || !SameID(FItemID, AItemID)) return;
  for (int i = 0; i < lvItemExtraList->count(); ++i) {
    QListWidgetItem* LRow = lvItemExtraList->item(i);
    if (KindOf(LRow) == TRowKind::Plain && SameID(IdOf(LRow), AExtraID)) {
      LayoutAttachmentRow(LRow);
      return;
    }
  }
}

void TEventItemDetailsForm::AttachmentRowDoubleClick(int ARow) {
  QListWidgetItem* LRow = lvItemExtraList->item(ARow);
  // Device headers and footers open nothing.
  if (KindOf(LRow) != TRowKind::Plain) return;
  OpenAttachment(IdOf(LRow));
}

void TEventItemDetailsForm::OpenAttachment(const std::string& AExtraID) {
  TZELEventItem* LItem = CurrentItem();
  TEventExtraDataItem* LExtra = LItem ? LItem->FindItem(AExtraID) : nullptr;
  if (!LExtra) {
    Dialogs::Dialogs().ShowMessage(this, "Error, unable to locate item with ID \"" + AExtraID + "\"", nullptr);
    return;
  }
  switch (D::OpenStepOf(LExtra->State())) {
    case D::TOpenStep::NotReady: Dialogs::Dialogs().ShowMessage(this, std::string(D::cNotReadyText), nullptr); return;
    case D::TOpenStep::Gone: Dialogs::Dialogs().ShowMessage(this, std::string(D::cGoneText), nullptr); return;
    case D::TOpenStep::CheckPresence: break;
  }
  const std::shared_ptr<IZELRESTService> LRest =
      Services::Container::ZELServiceLocator()->GetService<IZELRESTService>();
  if (!LRest) {
    Dialogs::Dialogs().ShowMessage(this, std::string(D::cGoneText), nullptr);
    return;
  }
  IViewHost* LHost = GetViewHost();
  if (LHost) LHost->ShowProgress(std::string(cWaitText), false);
  // The backend is asked on a pool thread; the answer comes back to the UI thread, where the
  // attachment is looked up again (it may have gone meanwhile).
  const std::weak_ptr<int> LLife = FLife;
  const std::string LItemID = FItemID;
  const std::weak_ptr<IZELRESTService> LWeakRest = LRest;
  QThreadPool::globalInstance()->start([this, LLife, LWeakRest, LItemID, AExtraID] {
    ExceptionReporter::Guarded(cClickTag, [&] {
      // Taken for the call, released on the UI thread: the service is never freed here.
      std::shared_ptr<IZELRESTService> LTaskRest = LWeakRest.lock();
      bool LPresent = false;
      try {
        LPresent = LTaskRest && TEventExtraDataItem::IsPresentOnServer(*LTaskRest, AExtraID);
      } catch (const std::exception& E) {
        Log().ErrorFmt(cClickTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
      }
      UIThread::RunSync([&] {
        LTaskRest.reset();
        if (LLife.expired()) return;
        if (IViewHost* LNowHost = GetViewHost()) LNowHost->HideProgress();
        if (!Active() || LItemID != FItemID) return;
        TZELEventItem* LNowItem = CurrentItem();
        TEventExtraDataItem* LNowExtra = LNowItem ? LNowItem->FindItem(AExtraID) : nullptr;
        const D::TOpenResult LResult = D::OpenResultOf(LPresent && LNowExtra, LNowExtra ? LNowExtra->DataType() : 0);
        if (LResult == D::TOpenResult::Gone) {
          Dialogs::Dialogs().ShowMessage(this, std::string(D::cGoneText), nullptr);
          return;
        }
        if (LResult == D::TOpenResult::Nothing) return;
        const std::string LURL = LNowExtra->GetDownloadURL();
        if (const std::string LWhyNot = Forms::WebView::WhyItCannotStart(); !LWhyNot.empty()) {
          Log().Error(cClickTag, LWhyNot);
          Dialogs::Dialogs().ShowMessage(this, LWhyNot, nullptr);
          return;
        }
        Log().Debug(cClickTag, "Getting item data from " + LoggableURL(LURL));
        Forms::WebView::ShowURLInWebView(LURL, LResult == D::TOpenResult::Image, window());
      });
    });
  });
}

void TEventItemDetailsForm::Messaging_ExtraRefresh(TSender, const TEventItemExtraRefreshMessage& AMessage) {
  if (!Active()) return;
  UpdateItemStatus(AMessage.EventItemID, AMessage.EventItemExtraID);
}

// --- services ------------------------------------------------------------------------------

void TEventItemDetailsForm::FillServices() {
  lvServices->clear();
  ClosePauseFrames();
  lyServices->hide();
  btnServices->hide();
  struct TEnd {
    TEventItemDetailsForm* View;
    ~TEnd() { View->HideShowServicesContent(View->lvServices->count() > 0); }
  } LEnd{this};
  TZELEventItem* LItem = CurrentItem();
  if (!LItem) return;
  const std::shared_ptr<IZELEdgeService> LEdges = EdgeService();
  TZELEdgeObject* LEdge =
      LEdges ? LEdges->GetEdgeFromOriginator(const_cast<TZELOriginatorDevice*>(&LItem->Originator())) : nullptr;
  if (!LEdge) {
    Log().Fatal(cServicesTag, "Unable to locate edge for item: " + LItem->ToJSON());
    return;
  }
  TZELConditionObject* LCondition = nullptr;
  if (!LEdge->HasCondition(LItem->Originator().ID(), LCondition)) return;
  btnServices->show();
  btnServices->raise();
  for (const D::TServiceRow& LService : D::ServiceRows(*LCondition)) {
    QListWidgetItem* LRow = AddRow(lvServices, TRowKind::Plain);
    LRow->setData(cIdRole, QString::fromStdString(LCondition->ID()));
    LRow->setData(cTagRole, static_cast<int>(LService.Type));
    LRow->setData(cTurnOnRole, LService.TurnOn ? 1 : 0);
    LRow->setData(Qt::AccessibleTextRole, QString::fromStdString(LService.Caption));
    LRow->setSizeHint(QSize(0, cServiceRowHeight));
    lvServices->setItemWidget(LRow, ActionsPanel::RowWidget(LService.Caption, LService.Description));
  }
  FServiceFitter->Fit();
}

void TEventItemDetailsForm::HideShowServicesContent(bool AShow) {
  if (AShow) {
    lvServices->raise();
    txtNoServices->lower();
  } else {
    txtNoServices->raise();
    lvServices->lower();
  }
  lvServices->setVisible(AShow);
  txtNoServices->setVisible(!AShow);
}

void TEventItemDetailsForm::AdjustServicesPanelHeight() {
  const int LRows = lvServices->count();
  lyServices->setFixedHeight(cServicesHeaderHeight + (LRows == 0 ? cServiceRowHeight : FServiceFitter->Fit()) + 4);
}

void TEventItemDetailsForm::HideShowServicesPanel(bool AShow) {
  lyServices->setVisible(AShow);
  HideShowServicesContent(lvServices->count() > 0);
  btnServices->setVisible(!AShow);
  if (AShow) {
    ClosePauseFrames();
    // Laid out now, so that the rows are fitted to the list's real width.
    if (QLayout* LLayout = tabItemInfo->layout()) LLayout->activate();
    AdjustServicesPanelHeight();
  } else {
    PlaceActionsButton();
  }
}

void TEventItemDetailsForm::btnServicesClick() {
  const bool LShow = lyServices->isHidden();
  // Opened with rows made now: a pause's time left is counted at this moment.
  if (LShow) FillServices();
  HideShowServicesPanel(LShow);
}

void TEventItemDetailsForm::btnHideServicesPanelClick() { HideShowServicesPanel(false); }

void TEventItemDetailsForm::ProcessServiceActionResult(const TZELConditionObject* ACondition) {
  // Another condition's answer changes nothing here (an open pause frame stays).
  TZELEventItem* LItem = CurrentItem();
  if (!LItem || !ACondition || !SameID(ACondition->ID(), LItem->Originator().ID())) return;
  const bool LShown = !lyServices->isHidden();
  FillServices();
  if (LShown) HideShowServicesPanel(true);
}

void TEventItemDetailsForm::Messaging_ConditionStateChange(TSender, const TConditionStateChangeMessage& AMessage) {
  if (!Active()) return;
  ProcessServiceActionResult(AMessage.Value());
}

void TEventItemDetailsForm::ClosePauseFrames() {
  bool LAny = false;
  while (auto* LFrame = fraStand->Find<TfraPauseIntervalSelection>()) {
    fraStand->Close(LFrame);
    LAny = true;
  }
  if (LAny) rectServiceFrame->hide();
}

void TEventItemDetailsForm::ServiceRowClick(int ARow) {
  QListWidgetItem* LRow = lvServices->item(ARow);
  if (!LRow) return;
  const auto LType = static_cast<TEdgeServiceType>(LRow->data(cTagRole).toInt());
  const bool LTurnOn = LRow->data(cTurnOnRole).toInt() == 1;
  const std::string LConditionID = IdOf(LRow);
  switch (LType) {
    case TEdgeServiceType::stSwitch: {
      bool LNotSent = false;
      try {
        TZELConditionObject* LCondition = CurrentCondition();
        TZELEdgeSwitchService* LSwitch = nullptr;
        if (LCondition && SameID(LCondition->ID(), LConditionID) &&
            LCondition->HasService(TEdgeServiceType::stSwitch, LSwitch))
          LNotSent = !LSwitch->TurnOnOff(LTurnOn);
      } catch (const std::exception& E) {
        Log().FatalFmt(cRunTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
      }
      if (LNotSent) {
        // Nothing went out: the panel stays, so the user may try again.
        Dialogs::Dialogs().ShowMessage(this, ActionsPanel::cNotSentText, nullptr);
        break;
      }
      HideShowServicesPanel(false);
      break;
    }
    case TEdgeServiceType::stPause: ShowPauseFrame(LConditionID); break;
    default: Dialogs::Dialogs().ShowMessage(this, std::string(D::cUnknownServiceText), nullptr); break;
  }
}

void TEventItemDetailsForm::ShowPauseFrame(const std::string& AConditionID) {
  ClosePauseFrames();
  auto* LFrame = fraStand->Create<TfraPauseIntervalSelection>();
  const QPointer<TfraPauseIntervalSelection> LGuard(LFrame);
  LFrame->SetHandler([this, LGuard, AConditionID](bool ACancelled, std::int32_t ASeconds) {
    if (!ACancelled && ASeconds >= 1) {
      bool LNotSent = false;
      try {
        TZELConditionObject* LCondition = CurrentCondition();
        TZELEdgePauseService* LPause = nullptr;
        if (LCondition && SameID(LCondition->ID(), AConditionID) &&
            LCondition->HasService(TEdgeServiceType::stPause, LPause))
          LNotSent = !LPause->Pause(ASeconds);
      } catch (const std::exception& E) {
        Log().FatalFmt(cRunTag, "{}: {}", Exceptions::ClassNameOf(E), E.what());
      }
      if (LNotSent) {
        // Nothing went out: the frame stays with the chosen length, to apply again or cancel.
        Dialogs::Dialogs().ShowMessage(this, ActionsPanel::cNotSentText, nullptr);
        return;
      }
    }
    if (LGuard) fraStand->Close(LGuard);
    rectServiceFrame->hide();
    HideShowServicesPanel(false);
  });
  rectServiceFrame->setGeometry(lyContents->rect().adjusted(10, 10, -10, -10));
  rectServiceFrame->show();
  rectServiceFrame->raise();
  fraStand->Show(LFrame);
}

}  // namespace ZEL
