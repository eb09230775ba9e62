#pragma once
// The services a node of the edge tree offers (view, dismiss, escalate, pause, switch),
// and the container of a sent request.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ZEL.Backend.Proto.DTO.ServiceRequest.h"
#include "ZEL.Edge.Base.h"
#include "ZEL.Events.Types.h"
#include "ZEL.JSON.Utils.h"

namespace ZEL {

class TZELEdgeServingEntity;

// Reason texts by code, in the order the edge listed them; a code is held once.
class TZELReasonTable {
public:
  using TEntry = std::pair<std::int32_t, std::string>;

  // False (and nothing added) when the code is held already.
  bool Add(std::int32_t ACode, std::string AReason);
  bool Contains(std::int32_t ACode) const { return Find(ACode) != nullptr; }
  // The text of the code, or nullptr.
  const std::string* Find(std::int32_t ACode) const;
  int Count() const { return static_cast<int>(FEntries.size()); }
  bool IsEmpty() const { return FEntries.empty(); }
  void Clear() { FEntries.clear(); }
  std::vector<TEntry>::const_iterator begin() const { return FEntries.begin(); }
  std::vector<TEntry>::const_iterator end() const { return FEntries.end(); }

private:
  std::vector<TEntry> FEntries;
};

// One service. The plain class stands for a service of an unknown type and is never valid.
class TZELServiceObject : public TZELBaseJSONCastObject {
public:
  static constexpr std::string_view TypeName = "TZELServiceObject";

  static std::unique_ptr<TZELServiceObject> Create(std::string_view ARawJSON);
  static std::unique_ptr<TZELServiceObject> CreateFromJSON(const TJSON& AValue);
  // The class of AType built from AValue; the plain class for stUnknown.
  static std::unique_ptr<TZELServiceObject> CreateKindFromJSON(TEdgeServiceType AType, const TJSON& AValue);

  // "Type", then "Index", "Name", "Description"; an unknown type or the first missing key ends it.
  bool LoadFromJSON(const TJSON& AData) override;
  std::string_view ClassName() const override { return TypeName; }
  virtual bool GetValidationState() const { return false; }
  virtual bool GetAvailabilityState() const { return false; }
  virtual void SetParent(TZELEdgeServingEntity* AValue) { FParent = AValue; }
  // Hands the request to the parent node; false without a parent.
  virtual bool SendRequest(std::unique_ptr<TZELServiceRequestDTO> ARequest);

  TZELEdgeServingEntity* Parent() const { return FParent; }
  TEdgeServiceType ServiceType() const { return FType; }
  std::int32_t SericeIndex() const { return FIndex; }
  const std::string& Name() const { return FName; }
  const std::string& Description() const { return FDescription; }
  bool IsValid() const { return GetValidationState(); }
  bool IsAvailable() const { return GetAvailabilityState(); }

protected:
  TZELServiceObject() = default;

  // Builds the request on the parent, sends it and logs the outcome under ATag; the
  // failure entry of some kinds carries two blanks before "was" (kept as the logs have it).
  // True once the broker took the request; false when nothing went out.
  bool SendOperation(std::string_view ATag, std::vector<TZELVariant> AParams, bool ATwoBlanks);

  // Fills ATable from the array of reason objects ({"Code", "Reason"}); entries without
  // either are logged and passed over, a repeated code keeps the first.
  static void LoadReasons(std::string_view ATag, const TJSON& AArray, TZELReasonTable& ATable);

private:
  TZELEdgeServingEntity* FParent = nullptr;
  TEdgeServiceType FType = TEdgeServiceType::stUnknown;
  std::int32_t FIndex = 0;
  std::string FName;
  std::string FDescription;
};

class TZELEdgeViewService : public TZELServiceObject {
public:
  static constexpr std::string_view TypeName = "TZELEdgeViewService";
  static std::unique_ptr<TZELEdgeViewService> Create(std::string_view ARawJSON);
  static std::unique_ptr<TZELEdgeViewService> CreateFromJSON(const TJSON& AValue);

  std::string_view ClassName() const override { return TypeName; }
  bool GetValidationState() const override { return true; }
  bool GetAvailabilityState() const override { return true; }

  // Sends {"IncidentId"} when AEventID is not empty. Whether it went out.
  bool MarkAsSeen(const std::string& AEventID);

protected:
  TZELEdgeViewService() = default;
};

class TZELEdgeDismissService : public TZELServiceObject {
public:
  static constexpr std::string_view TypeName = "TZELEdgeDismissService";
  static std::unique_ptr<TZELEdgeDismissService> Create(std::string_view ARawJSON);
  static std::unique_ptr<TZELEdgeDismissService> CreateFromJSON(const TJSON& AValue);

  // The common keys, then "Params.Reasons.easInitiated" and (only when that is there)
  // "Params.Reasons.easEscalated"; false when an array is missing.
  bool LoadFromJSON(const TJSON& AData) override;
  std::string_view ClassName() const override { return TypeName; }
  // Both tables hold a reason.
  bool GetValidationState() const override;
  bool GetAvailabilityState() const override { return GetValidationState(); }

  const TZELReasonTable& InitReasons() const { return FInitReasons; }
  const TZELReasonTable& EscalatedReasons() const { return FEscalatedReasons; }

  // Sends {"IncidentId", "Reason", "ReasonCode"} when AEventID is not empty and ACode is
  // in the table of AState (easInitiated or easEscalated; other states have none).
  // Whether it went out: false also when the broker could not take it.
  bool Dismiss(TEventAlertState AState, const std::string& AEventID, std::int32_t ACode, const std::string& AReason);

protected:
  TZELEdgeDismissService() = default;

private:
  TZELReasonTable FInitReasons;
  TZELReasonTable FEscalatedReasons;
};

class TZELEdgeEscalateService : public TZELServiceObject {
public:
  static constexpr std::string_view TypeName = "TZELEdgeEscalateService";
  static std::unique_ptr<TZELEdgeEscalateService> Create(std::string_view ARawJSON);
  static std::unique_ptr<TZELEdgeEscalateService> CreateFromJSON(const TJSON& AValue);

  // The common keys, then "Params.Reasons"; false when it is missing.
  bool LoadFromJSON(const TJSON& AData) override;
  std::string_view ClassName() const override { return TypeName; }
  bool GetValidationState() const override { return !FReasons.IsEmpty(); }
  bool GetAvailabilityState() const override { return GetValidationState(); }

  const TZELReasonTable& Reasons() const { return FReasons; }

  // Sends {"IncidentId", "Reason", "ReasonCode"} when AEventID is not empty and ACode is a
  // reason. Whether it went out.
  bool Escalate(const std::string& AEventID, std::int32_t ACode, const std::string& AReason);

protected:
  TZELEdgeEscalateService() = default;

private:
  TZELReasonTable FReasons;
};

class TZELEdgePauseService : public TZELServiceObject {
public:
  static constexpr std::string_view TypeName = "TZELEdgePauseService";
  static std::unique_ptr<TZELEdgePauseService> Create(std::string_view ARawJSON);
  static std::unique_ptr<TZELEdgePauseService> CreateFromJSON(const TJSON& AValue);

  std::string_view ClassName() const override { return TypeName; }
  bool GetValidationState() const override { return true; }
  bool GetAvailabilityState() const override { return true; }

  // Sends {"Interval": seconds} when AInterval is above 0. Whether it went out.
  bool Pause(std::int32_t AInterval);

protected:
  TZELEdgePauseService() = default;
};

class TZELEdgeSwitchService : public TZELServiceObject {
public:
  static constexpr std::string_view TypeName = "TZELEdgeSwitchService";
  static std::unique_ptr<TZELEdgeSwitchService> Create(std::string_view ARawJSON);
  static std::unique_ptr<TZELEdgeSwitchService> CreateFromJSON(const TJSON& AValue);

  std::string_view ClassName() const override { return TypeName; }
  bool GetValidationState() const override { return true; }
  bool GetAvailabilityState() const override { return true; }

  // Sends {"State": 1 or 0}. Whether it went out.
  bool TurnOnOff(bool AEnabled);

protected:
  TZELEdgeSwitchService() = default;
};

// A sent request (owned) and the service that sent it (not owned; cleared when the edge
// is loaded again and its services are made anew).
class TServiceRequestContainer {
public:
  static constexpr std::string_view TypeName = "TServiceRequestContainer";

  TServiceRequestContainer(TZELServiceObject* AService, std::unique_ptr<TZELServiceRequestDTO> ARequest);
  ~TServiceRequestContainer();
  TServiceRequestContainer(const TServiceRequestContainer&) = delete;
  TServiceRequestContainer& operator=(const TServiceRequestContainer&) = delete;

  TZELServiceRequestDTO* Request() const { return FRequest.get(); }
  TZELServiceObject* Service() const { return FService; }
  void ForgetService() { FService = nullptr; }
  // The "IncidentId" text of the request's parameters when they are an object holding it.
  std::string EventID() const;

private:
  std::unique_ptr<TZELServiceRequestDTO> FRequest;
  TZELServiceObject* FService;
};

}  // namespace ZEL
