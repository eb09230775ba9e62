#include "ZEL.Frames.DismissReasons.h"

namespace ZEL {

TfraDismissReasonSelection::TfraDismissReasonSelection(QWidget* AParent)
    : TfraReasonSelection(EventItems::Decisions::TReasonKind::Dismiss, "fraDismissReasonSelection",
                          EventItems::Decisions::cClosePrompt, AParent) {}

}  // namespace ZEL
