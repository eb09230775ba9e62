#pragma once
// The frame that asks how long a condition is to be paused: days, hours and minutes, with
// Cancel and Apply. It hands its answer to a callback.

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string_view>

class QPushButton;
class QSpinBox;

namespace ZEL {

class TfraPauseIntervalSelection : public QWidget {
  Q_OBJECT
public:
  static constexpr std::string_view TypeName = "TfraPauseIntervalSelection";
  // ACancelled, and the seconds chosen (-1 when cancelled).
  using TPauseUserActionProc = std::function<void(bool ACancelled, std::int32_t ASeconds)>;

  explicit TfraPauseIntervalSelection(QWidget* AParent = nullptr);

  void SetHandler(TPauseUserActionProc AProc) { FHandler = std::move(AProc); }
  // Each box's whole value counts: days 86400 s, hours 3600 s, minutes 60 s (60 at least).
  std::int32_t EstimateInSeconds() const;

  void btnApplyClick();
  void btnCancelClick();

  QSpinBox* Days() const { return seditDays; }
  QSpinBox* Hours() const { return seditHours; }
  QSpinBox* Minutes() const { return seditMinutes; }

private:
  QSpinBox* seditDays;
  QSpinBox* seditHours;
  QSpinBox* seditMinutes;
  QPushButton* btnCancel;
  QPushButton* btnApply;
  TPauseUserActionProc FHandler;
};

}  // namespace ZEL
