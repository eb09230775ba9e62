#pragma once
// The frame that asks why an alert is escalated.

#include "ZEL.Frames.Reasons.h"

namespace ZEL {

class TfraEscalateReasonSelection : public TfraReasonSelection {
  Q_OBJECT
public:
  using TEscalateUserActionProc = TUserActionProc;
  explicit TfraEscalateReasonSelection(QWidget* AParent = nullptr);
};

}  // namespace ZEL
