#include "ZEL.Edge.h"

#include "ZEL.LogsPipe.h"

namespace ZEL {

namespace Helpers = ZEL::JSON::Helpers;
using Edge::JSON::SameID;

#define ZEL_EDGE_NODE_CREATE(T)                                                           \
  std::unique_ptr<T> T::Create(std::string_view ARawJSON) {                               \
    return Loaded(std::unique_ptr<T>(new T()), ARawJSON);                                 \
  }                                                                                       \
  std::unique_ptr<T> T::CreateFromJSON(const TJSON& AValue) {                             \
    return Loaded(std::unique_ptr<T>(new T()), AValue);                                   \
  }

ZEL_EDGE_NODE_CREATE(TZELDeviceObject)
ZEL_EDGE_NODE_CREATE(TZELConditionObject)
ZEL_EDGE_NODE_CREATE(TZELProviderObject)
ZEL_EDGE_NODE_CREATE(TZELEdgeObject)

#undef ZEL_EDGE_NODE_CREATE

namespace {

// Rebuilds AList from the array at AKey of AOwn: cleared silently, then each child built
// from its element (a child that is not an object raises) and appended with announcement.
template <class T>
bool LoadChildren(const TJSON* AOwn, std::string_view AKey, TDelegatedObjectList<T>& AList, TZELEdgeObject* AEdge,
                  std::string_view ATag) {
  const TJSON* array = AOwn ? Helpers::TryGetArray(*AOwn, AKey) : nullptr;
  if (!array) {
    LogsPipe::ZELLog().ErrorFmt(ATag, "LoadFromJSON: Required \"{}\" property not found.", AKey);
    return false;
  }
  AList.Clear(false);
  for (const TJSON& element : *array) {
    std::unique_ptr<T> child = T::CreateFromJSON(element);
    if (AEdge) child->SetEdge(AEdge);
    AList.Add(std::move(child));
  }
  return true;
}

}  // namespace

// --- TZELProviderObject ---

bool TZELProviderObject::LoadFromJSON(const TJSON& AData) {
  const bool result = TZELEdgeServingEntity::LoadFromJSON(AData);
  // Devices get no edge: nothing sends a request through a device.
  LoadChildren(JSONObject(), "Devices", FDevices, nullptr, TypeName);
  return result;
}

bool TZELProviderObject::HasDevice(const std::string& AID, int& AIndex) const {
  AIndex = -1;
  for (int i = 0; i < FDevices.Count(); ++i)
    if (SameID(FDevices[i]->ID(), AID)) {
      AIndex = i;
      return true;
    }
  return false;
}

bool TZELProviderObject::FindDevice(const std::string& AID, TZELDeviceObject*& AItem) const {
  int index = -1;
  const bool found = HasDevice(AID, index);
  AItem = found ? FDevices[index] : nullptr;
  return found;
}

// --- TZELEdgeObject ---

TZELEdgeObject::TZELEdgeObject() { SetEdge(this); }

bool TZELEdgeObject::LoadFromJSON(const TJSON& AData) {
  // A second load makes every service anew; registered requests must not keep pointing
  // at the services about to be freed.
  if (FLoaded)
    for (auto& entry : ServiceRequests()) entry.second->ForgetService();
  const bool result = TZELEdgeServingEntity::LoadFromJSON(AData);
  LoadChildren(JSONObject(), "Conditions", FConditions, this, TypeName);
  LoadChildren(JSONObject(), "Providers", FProviders, this, TypeName);
  FLoaded = true;
  return result;
}

TServiceRequestRegistry* TZELEdgeObject::GetWorkingServicesRequestList() { return &ServiceRequests(); }

bool TZELEdgeObject::HasCondition(const std::string& AID, TZELConditionObject*& AItem) const {
  AItem = nullptr;
  for (TZELConditionObject* condition : FConditions)
    if (SameID(condition->ID(), AID)) {
      AItem = condition;
      return true;
    }
  return false;
}

bool TZELEdgeObject::HasProvider(const std::string& AID, TZELProviderObject*& AItem) const {
  AItem = nullptr;
  for (TZELProviderObject* provider : FProviders)
    if (SameID(provider->ID(), AID)) {
      AItem = provider;
      return true;
    }
  return false;
}

bool TZELEdgeObject::HasDevice(const std::string& AID, TZELDeviceObject*& AItem) const {
  AItem = nullptr;
  for (TZELProviderObject* provider : FProviders)
    if (provider->FindDevice(AID, AItem)) return true;
  return false;
}

}  // namespace ZEL
