#pragma once
// The filter frame the Events view shows over itself: source edge, alert states, date range,
// two switches, and Apply, Cancel and Reset filter. It hands its result to a callback.

#include "ZEL.Events.Filter.h"

#include <QWidget>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QPushButton;
class QTimeEdit;

namespace ZEL {

class TfraEventsFilter : public QWidget {
  Q_OBJECT
public:
  static constexpr std::string_view TypeName = "TfraEventsFilter";
  using TFilterApplyProc = std::function<void(bool AApply)>;

  explicit TfraEventsFilter(QWidget* AParent = nullptr);

  // Loads options into the frame; not a reset: they are also what Cancel goes back to.
  void FillData(const TFilterOptions& AFilter, bool AIsReset);
  void SetHandler(TFilterApplyProc AProc) { fHandler = std::move(AProc); }
  // Applying reads the controls into the current options (a custom range under 10 minutes
  // is refused with a message and goes no further); then the callback runs.
  void ApplySettings(bool AApply);

  const TFilterOptions& CurrentOptions() const { return FCurrentOptions; }
  const TFilterOptions& PrevOptions() const { return FPrevOptions; }
  // The source list's entries, each with its edge id ("All" first).
  const std::vector<TSourceEntry>& Sources() const { return FSources; }

  void btnApplyClick() { ApplySettings(true); }
  void btnCancelClick();
  void BtnResetFilterClick();

private:
  void cbDateTimeFltChange();

  QComboBox* cbIncidentEdgesFlt;
  QCheckBox* swInitial;
  QCheckBox* swEscalated;
  QCheckBox* swDismissed;
  QComboBox* cbDateTimeFlt;
  QDateEdit* dedtBegin;
  QDateEdit* dedtEnd;
  QWidget* lyTimeInputs;
  QTimeEdit* tedtBegin;
  QTimeEdit* tedtEnd;
  QCheckBox* swViewedStateFlt;
  QCheckBox* swActiveStateFlt;
  QPushButton* BtnResetFilter;
  QPushButton* btnCancel;
  QPushButton* btnApply;

  TFilterOptions FPrevOptions;
  TFilterOptions FCurrentOptions;
  TFilterApplyProc fHandler;
  std::vector<TSourceEntry> FSources;
};

}  // namespace ZEL
