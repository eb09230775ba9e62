#pragma once
// The frame that asks why an alert is dismissed (or, when escalated, closed).

#include "ZEL.Frames.Reasons.h"

namespace ZEL {

class TfraDismissReasonSelection : public TfraReasonSelection {
  Q_OBJECT
public:
  using TDismissUserActionProc = TUserActionProc;
  explicit TfraDismissReasonSelection(QWidget* AParent = nullptr);
};

}  // namespace ZEL
