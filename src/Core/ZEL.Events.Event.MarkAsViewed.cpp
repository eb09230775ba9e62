// Marking an alert as seen goes through its edge's view service.

#include "ZEL.Edge.h"
#include "ZEL.EdgeService.Interf.h"
#include "ZEL.Events.Event.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.Services.Container.h"

namespace ZEL {

void TZELEvent::MarkAsViewed() {
  if (FState == TEventAlertState::easDismissed) return;
  auto edges = Services::Container::ZELServiceLocator()->GetService<IZELEdgeService>();
  if (!edges) return;
  TZELEdgeObject* edge = edges->GetEdgeFromOriginator(FOriginator.get());
  if (!edge) {
    LogsPipe::ZELLog().Fatal("TZELEvent", "MarkAsViewed. Unable to locate edge for incident: " + ToJSON());
    return;
  }
  // Sent whether or not the alert is viewed already; Viewed moves when the edge's view item arrives.
  TZELEdgeViewService* view = nullptr;
  if (edge->HasService(TEdgeServiceType::stView, view)) view->MarkAsSeen(ID());
}

}  // namespace ZEL
