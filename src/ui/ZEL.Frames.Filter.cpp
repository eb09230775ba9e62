#include "ZEL.Frames.Filter.h"

#include "ZEL.Dialogs.h"
#include "ZEL.Edge.h"
#include "ZEL.EdgeService.Interf.h"
#include "ZEL.Services.Container.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace ZEL {

namespace {

namespace F = Events::Filter;

std::vector<TSourceEntry> EdgesOfService() {
  std::vector<TSourceEntry> LEdges;
  auto LService = Services::Container::ZELServiceLocator()->GetService<IZELEdgeService>();
  if (!LService) return LEdges;
  for (std::int32_t i = 0; i < LService->EdgeCount(); ++i)
    if (TZELEdgeObject* LEdge = LService->GetEdge(i)) LEdges.push_back({LEdge->Name(), LEdge->ID()});
  return LEdges;
}

QDateTime ToQt(Time::TInstant AValue) {
  const Time::TLocalTime L = Time::ToLocal(AValue);
  return QDateTime(QDate(L.Year, L.Month, L.Day), QTime(L.Hour, L.Minute, L.Second, L.Millisecond));
}

Time::TInstant FromQt(QDate ADate, QTime ATime) {
  return Time::FromLocal(ADate.year(), ADate.month(), ADate.day(), ATime.hour(), ATime.minute(), ATime.second(),
                         ATime.msec());
}

QCheckBox* Switch(const char* AName, const char* AText, QWidget* AParent) {
  auto* LSwitch = new QCheckBox(QString::fromUtf8(AText), AParent);
  LSwitch->setObjectName(QString::fromLatin1(AName));
  return LSwitch;
}

}  // namespace

TfraEventsFilter::TfraEventsFilter(QWidget* AParent) : QWidget(AParent) {
  setObjectName(QStringLiteral("fraEventsFilter"));
  setAutoFillBackground(true);
  auto* LPanel = new QVBoxLayout(this);
  LPanel->setContentsMargins(2, 2, 2, 2);

  auto* LSource = new QHBoxLayout();
  LSource->addWidget(new QLabel(QStringLiteral("Events source:"), this));
  cbIncidentEdgesFlt = new QComboBox(this);
  cbIncidentEdgesFlt->setObjectName(QStringLiteral("cbIncidentEdgesFlt"));
  cbIncidentEdgesFlt->setFixedWidth(220);
  LSource->addWidget(cbIncidentEdgesFlt);
  LPanel->addLayout(LSource);

  LPanel->addWidget(new QLabel(QStringLiteral("Event state is:"), this));
  auto* LStates = new QHBoxLayout();
  swInitial = Switch("swInitial", "Initial", this);
  swEscalated = Switch("swEscalated", "Escalated", this);
  swDismissed = Switch("swDismissed", "Dismissed", this);
  LStates->addWidget(swInitial);
  LStates->addWidget(swEscalated);
  LStates->addWidget(swDismissed);
  LPanel->addLayout(LStates);

  auto* LRange = new QHBoxLayout();
  LRange->addWidget(new QLabel(QStringLiteral("Filter events by date range:"), this));
  cbDateTimeFlt = new QComboBox(this);
  cbDateTimeFlt->setObjectName(QStringLiteral("cbDateTimeFlt"));
  cbDateTimeFlt->setFixedWidth(144);
  LRange->addWidget(cbDateTimeFlt);
  LPanel->addLayout(LRange);
  auto* LDates = new QGridLayout();
  dedtBegin = new QDateEdit(this);
  dedtBegin->setObjectName(QStringLiteral("dedtBegin"));
  dedtBegin->setCalendarPopup(true);
  dedtEnd = new QDateEdit(this);
  dedtEnd->setObjectName(QStringLiteral("dedtEnd"));
  dedtEnd->setCalendarPopup(true);
  LDates->addWidget(new QLabel(QStringLiteral("From:"), this), 0, 0);
  LDates->addWidget(dedtBegin, 0, 1);
  LDates->addWidget(new QLabel(QStringLiteral("To:"), this), 0, 2);
  LDates->addWidget(dedtEnd, 0, 3);
  LPanel->addLayout(LDates);
  lyTimeInputs = new QWidget(this);
  lyTimeInputs->setObjectName(QStringLiteral("lyTimeInputs"));
  auto* LTimes = new QGridLayout(lyTimeInputs);
  LTimes->setContentsMargins(0, 0, 0, 0);
  tedtBegin = new QTimeEdit(lyTimeInputs);
  tedtBegin->setObjectName(QStringLiteral("tedtBegin"));
  tedtBegin->setDisplayFormat(QStringLiteral("HH:mm"));
  tedtEnd = new QTimeEdit(lyTimeInputs);
  tedtEnd->setObjectName(QStringLiteral("tedtEnd"));
  tedtEnd->setDisplayFormat(QStringLiteral("HH:mm"));
  LTimes->addWidget(new QLabel(QStringLiteral("Time:"), lyTimeInputs), 0, 0);
  LTimes->addWidget(tedtBegin, 0, 1);
  LTimes->addWidget(new QLabel(QStringLiteral("Time:"), lyTimeInputs), 0, 2);
  LTimes->addWidget(tedtEnd, 0, 3);
  LPanel->addWidget(lyTimeInputs);

  // The switch's own text is its label: a click on it toggles the switch.
  swViewedStateFlt = Switch("swViewedStateFlt", "Show only unviewed incidents", this);
  swActiveStateFlt = Switch("swActiveStateFlt", "Show only active incidents", this);
  LPanel->addWidget(swViewedStateFlt);
  LPanel->addWidget(swActiveStateFlt);
  LPanel->addStretch(1);

  BtnResetFilter = new QPushButton(QStringLiteral("Reset filter"), this);
  BtnResetFilter->setObjectName(QStringLiteral("BtnResetFilter"));
  BtnResetFilter->setFixedHeight(40);
  LPanel->addWidget(BtnResetFilter);
  auto* LButtons = new QGridLayout();
  btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnApply = new QPushButton(QStringLiteral("Apply"), this);
  btnApply->setObjectName(QStringLiteral("btnApply"));
  LButtons->addWidget(btnCancel, 0, 0);
  LButtons->addWidget(btnApply, 0, 1);
  LPanel->addLayout(LButtons);

  connect(btnApply, &QPushButton::clicked, this, [this] { btnApplyClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
  connect(BtnResetFilter, &QPushButton::clicked, this, [this] { BtnResetFilterClick(); });
  connect(cbDateTimeFlt, &QComboBox::currentIndexChanged, this, [this] { cbDateTimeFltChange(); });
}

void TfraEventsFilter::FillData(const TFilterOptions& AFilter, bool AIsReset) {
  if (!AIsReset) FPrevOptions = AFilter;
  FCurrentOptions = AFilter;

  FSources = F::SourceEntries(EdgesOfService());
  {
    const QSignalBlocker LBlock(cbIncidentEdgesFlt);
    cbIncidentEdgesFlt->clear();
    for (const TSourceEntry& LEntry : FSources) cbIncidentEdgesFlt->addItem(QString::fromStdString(LEntry.Name));
    cbIncidentEdgesFlt->setCurrentIndex(F::SourceIndexOf(FSources, FCurrentOptions.EdgeID));
  }
  {
    const QSignalBlocker LBlock(cbDateTimeFlt);
    cbDateTimeFlt->clear();
    for (std::string_view LName : F::cRangeNames)
      cbDateTimeFlt->addItem(QString::fromUtf8(LName.data(), static_cast<qsizetype>(LName.size())));
    cbDateTimeFlt->setCurrentIndex(F::RangeIndexOf(FCurrentOptions.DateRangeName));
  }
  // Choosing the range recomputes a named range for the current day.
  cbDateTimeFltChange();

  swInitial->setChecked(FCurrentOptions.EventStates.count(TEventAlertState::easInitiated) > 0);
  swEscalated->setChecked(FCurrentOptions.EventStates.count(TEventAlertState::easEscalated) > 0);
  swDismissed->setChecked(FCurrentOptions.EventStates.count(TEventAlertState::easDismissed) > 0);
  swViewedStateFlt->setChecked(FCurrentOptions.OnlyNonSeen);
  swActiveStateFlt->setChecked(FCurrentOptions.OnlyActive);
}

void TfraEventsFilter::cbDateTimeFltChange() {
  F::ChooseRange(FCurrentOptions, cbDateTimeFlt->currentIndex(), Time::Now());
  const QDateTime LBegin = ToQt(FCurrentOptions.DateRangeBeginLocal());
  const QDateTime LEnd = ToQt(FCurrentOptions.DateRangeEndLocal());
  dedtBegin->setDate(LBegin.date());
  dedtEnd->setDate(LEnd.date());
  tedtBegin->setTime(LBegin.time());
  tedtEnd->setTime(LEnd.time());
  const bool LCustom = cbDateTimeFlt->currentIndex() == F::cCustomRangeIndex;
  lyTimeInputs->setVisible(LCustom);
  dedtBegin->setEnabled(LCustom);
  dedtEnd->setEnabled(LCustom);
}

void TfraEventsFilter::ApplySettings(bool AApply) {
  if (AApply) {
    // The entry keeps its edge's id: two edges of one name still select the right one.
    const int LSource = cbIncidentEdgesFlt->currentIndex();
    if (LSource <= 0)
      FCurrentOptions.EdgeID.clear();
    else if (static_cast<std::size_t>(LSource) < FSources.size())
      FCurrentOptions.EdgeID = FSources[static_cast<std::size_t>(LSource)].EdgeID;
    FCurrentOptions.IsCustomRange = false;
    if (cbDateTimeFlt->currentIndex() == F::cCustomRangeIndex) {
      FCurrentOptions.DateRangeName = std::string(F::cCustomRange);
      Time::TInstant LBegin, LEnd;
      const QTime LTimeBegin = tedtBegin->time(), LTimeEnd = tedtEnd->time();
      if (!F::CustomRange(FromQt(dedtBegin->date(), QTime(0, 0)), FromQt(QDate(2000, 1, 1), LTimeBegin),
                          FromQt(dedtEnd->date(), QTime(0, 0)), FromQt(QDate(2000, 1, 1), LTimeEnd), LBegin, LEnd)) {
        Dialogs::Dialogs().ShowMessage(this, std::string(F::cMinRangeMessage), {});
        return;
      }
      FCurrentOptions.IsCustomRange = true;
      FCurrentOptions.DateRangeBegin = Time::FormatISO8601Local(LBegin);
      FCurrentOptions.DateRangeEnd = Time::FormatISO8601Local(LEnd);
    }
    TTEventAlertStates LStates;
    if (swInitial->isChecked()) LStates.insert(TEventAlertState::easInitiated);
    if (swDismissed->isChecked()) LStates.insert(TEventAlertState::easDismissed);
    if (swEscalated->isChecked()) LStates.insert(TEventAlertState::easEscalated);
    FCurrentOptions.EventStates = LStates;
    FCurrentOptions.OnlyActive = swActiveStateFlt->isChecked();
    FCurrentOptions.OnlyNonSeen = swViewedStateFlt->isChecked();
  }
  if (fHandler) fHandler(AApply);
}

void TfraEventsFilter::btnCancelClick() {
  FCurrentOptions = FPrevOptions;
  FillData(FCurrentOptions, true);
  ApplySettings(FPrevOptions.Applied);
}

void TfraEventsFilter::BtnResetFilterClick() {
  FCurrentOptions = TFilterOptions();
  FillData(FCurrentOptions, true);
}

}  // namespace ZEL
