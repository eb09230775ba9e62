#include "ZEL.Frames.PauseVariants.h"

#include "ZEL.ItemDetails.Decisions.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace ZEL {

namespace {

namespace D = ItemDetails::Decisions;

QSpinBox* AddRow(QWidget* AParent, QVBoxLayout* ALayout, const char* AName, const char* ALabel, int AMin, int AMax,
                 int AValue) {
  auto* LRow = new QWidget(AParent);
  LRow->setFixedHeight(40);
  auto* LLayout = new QHBoxLayout(LRow);
  LLayout->setContentsMargins(0, 0, 0, 0);
  auto* LLabel = new QLabel(QString::fromLatin1(ALabel), LRow);
  auto* LBox = new QSpinBox(LRow);
  LBox->setObjectName(QString::fromLatin1(AName));
  LBox->setRange(AMin, AMax);
  LBox->setValue(AValue);
  LBox->setFixedWidth(137);
  LLayout->addWidget(LLabel);
  LLayout->addStretch(1);
  LLayout->addWidget(LBox);
  ALayout->addWidget(LRow);
  return LBox;
}

}  // namespace

TfraPauseIntervalSelection::TfraPauseIntervalSelection(QWidget* AParent) : QWidget(AParent) {
  setObjectName(QStringLiteral("fraPauseIntervalSelection"));
  resize(320, 240);
  auto* LOuter = new QVBoxLayout(this);
  auto* LTitle = new QLabel(QStringLiteral("How long this condition will be paused on:"), this);
  LTitle->setWordWrap(true);
  LTitle->setStyleSheet(QStringLiteral("font: bold \"Tahoma\";"));
  LOuter->addWidget(LTitle);
  seditDays = AddRow(this, LOuter, "seditDays", "Days", 0, D::cDaysMax, 0);
  seditHours = AddRow(this, LOuter, "seditHours", "Hours", 0, D::cHoursMax, 0);
  seditMinutes = AddRow(this, LOuter, "seditMinutes", "Minutes", D::cMinutesMin, D::cMinutesMax, D::cMinutesMin);
  LOuter->addStretch(1);
  auto* LBar = new QWidget(this);
  LBar->setFixedHeight(50);
  auto* LBarLayout = new QHBoxLayout(LBar);
  LBarLayout->setContentsMargins(0, 0, 0, 0);
  btnCancel = new QPushButton(QStringLiteral("Cancel"), LBar);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnCancel->setFixedSize(80, 40);
  btnApply = new QPushButton(QStringLiteral("Apply"), LBar);
  btnApply->setObjectName(QStringLiteral("btnApply"));
  btnApply->setFixedSize(80, 40);
  LBarLayout->addWidget(btnCancel);
  LBarLayout->addStretch(1);
  LBarLayout->addWidget(btnApply);
  LOuter->addWidget(LBar);
  connect(btnApply, &QPushButton::clicked, this, [this] { btnApplyClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
}

std::int32_t TfraPauseIntervalSelection::EstimateInSeconds() const {
  return D::PauseSeconds(seditDays->value(), seditHours->value(), seditMinutes->value());
}

void TfraPauseIntervalSelection::btnApplyClick() {
  // The callback may close (free) this frame: take a copy first.
  if (TPauseUserActionProc LProc = FHandler) LProc(false, EstimateInSeconds());
}

void TfraPauseIntervalSelection::btnCancelClick() {
  if (TPauseUserActionProc LProc = FHandler) LProc(true, -1);
}

}  // namespace ZEL
