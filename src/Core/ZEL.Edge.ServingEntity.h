#pragma once
// A node of the edge tree that offers services, and the request registry of an edge.

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ZEL.Edge.Base.h"
#include "ZEL.Edge.Services.h"
#include "ZEL.Generics.Collections.h"

namespace ZEL {

// Sent requests by "RequestId" (compared exactly); owns its containers.
using TServiceRequestRegistry = std::map<std::string, std::unique_ptr<TServiceRequestContainer>>;

class TZELEdgeServingEntity : public TZELBaseEdgeEntity {
public:
  static constexpr std::string_view TypeName = "TZELEdgeServingEntity";

  // The identity from AData, then "Services" from the node's own JSON object.
  bool LoadFromJSON(const TJSON& AData) override;
  std::string_view ClassName() const override { return TypeName; }

  // The registry the node's requests go to: its edge's; none (Fatal entry) without an edge.
  virtual TServiceRequestRegistry* GetWorkingServicesRequestList();

  TDelegatedObjectList<TZELServiceObject>& Services() { return FServices; }
  const TDelegatedObjectList<TZELServiceObject>& Services() const { return FServices; }
  // The node's own registry; only an edge's is used.
  TServiceRequestRegistry& ServiceRequests() { return FServiceRequests; }

  // The first service of that type; nullptr and false when none.
  bool HasService(TEdgeServiceType AType, TZELServiceObject*& AItem) const;
  // The same, typed; the kind must match the type (stDismiss and TZELEdgeDismissService).
  template <class TKind>
  bool HasService(TEdgeServiceType AType, TKind*& AItem) const {
    TZELServiceObject* item = nullptr;
    const bool found = HasService(AType, item);
    AItem = dynamic_cast<TKind*>(item);
    return found && AItem;
  }

  // A new request (type 6) for AService of this node with AArgs as its parameters (name,
  // value pairs); nullptr when it cannot be filled (a GUID not in braced form, no edge).
  std::unique_ptr<TZELServiceRequestDTO> GenerateServicePackage(const TZELServiceObject* AService,
                                                                const std::vector<TZELVariant>& AArgs);
  // Registers the request with the edge and publishes it on the edge's request topic.
  // False when there is no request or id, no registry, the id is registered already, or
  // the broker did not take it; every failure with a container is announced through
  // TEventServiceActionPerformed (Success false, the message owning the container).
  bool SendRequest(TZELServiceObject* ASender, std::unique_ptr<TZELServiceRequestDTO> ARequest);

  bool FindRequestContainer(const std::string& ARequestID, TServiceRequestContainer*& AContainer);
  bool FindRequest(const std::string& ARequestID, TZELServiceRequestDTO*& ARequestDTO);
  // Frees the container and its request; nothing when the id is not registered.
  void DeleteRequest(const std::string& ARequestID);

protected:
  TZELEdgeServingEntity() = default;

private:
  void LoadServices();

  TDelegatedObjectList<TZELServiceObject> FServices;
  TServiceRequestRegistry FServiceRequests;
};

}  // namespace ZEL
