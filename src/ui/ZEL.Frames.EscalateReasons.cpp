#include "ZEL.Frames.EscalateReasons.h"

namespace ZEL {

TfraEscalateReasonSelection::TfraEscalateReasonSelection(QWidget* AParent)
    : TfraReasonSelection(EventItems::Decisions::TReasonKind::Escalate, "fraEscalateReasonSelection",
                          EventItems::Decisions::cEscalatePrompt, AParent) {}

}  // namespace ZEL
