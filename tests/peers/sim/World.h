#pragma once
// The simulated service's data: organisation, users, edges with their conditions, providers
// and devices, and the alert history with items and attachments. Loaded from the seed file;
// changed by service requests from the broker and by the control port. Every operation takes
// the one lock, so the REST threads, the broker thread and the scheduler may call freely.

#include "SimTime.h"

#include <nlohmann/json.hpp>

#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ZelSim {

using json = nlohmann::ordered_json;

// A refusal with the HTTP-like code the caller should answer with (400, 404, 409).
class ESimError : public std::runtime_error {
 public:
  ESimError(int ACode, const std::string& AText) : std::runtime_error(AText), Code(ACode) {}
  int Code;
};

struct TOutMessage {
  std::string Topic;
  std::string Payload;
};
using TOutbox = std::vector<TOutMessage>;

// A paused condition that comes back when its interval runs out (unless paused again).
struct TResume {
  std::string ConditionId;
  std::string PausedAt;
  TInstant Due;
};

struct TExtraInfo {
  int State = 3;
  int DataType = 1;
};

class TWorld {
 public:
  // Takes a seed; relative dates ("now", "now-3600", "now+60": seconds from ANow) become ISO
  // texts. Raises ESimError(400) for a seed that lacks what the service needs.
  void Load(const json& ASeed, TInstant ANow);
  // Back to the last seed, dates taken from ANow again; the request and call logs are emptied.
  void Reset(TInstant ANow);

  // REST answers (copies).
  bool IsKnownUser(const std::string& AEmail) const;
  std::optional<json> UserRecordByEmail(const std::string& AEmail) const;
  std::optional<json> UserRecordByInvite(const std::string& ACode) const;
  json SyncArray() const;
  json AlertsInPeriod(const std::optional<TInstant>& ABegin,
                      const std::optional<TInstant>& AEnd) const;
  std::optional<json> AlertById(const std::string& AID) const;
  std::optional<json> ItemsOfAlert(const std::string& AAlertID) const;
  std::optional<json> ExtrasOfItem(const std::string& AItemID) const;
  std::optional<TExtraInfo> ExtraById(const std::string& AID) const;

  // Topics the edges listen on, and the organisation's event topic.
  std::vector<std::string> RequestTopics() const;
  std::string OrgEventTopic() const;
  std::vector<TResume> PendingResumes() const;

  // Control operations; each fills AOut with what the edges publish and raises ESimError.
  json RaiseAlert(const json& AArgs, TOutbox& AOut);
  json AddItem(const json& AArgs, TOutbox& AOut);
  json MoveAttachment(const json& AArgs, TOutbox& AOut);
  // Arguments for the next automatic alert (edges in turn, an active condition each).
  std::optional<json> NextAutoAlertArgs();

  // A payload received on an edge's request topic. AForcedCode 0 carries the service out;
  // another code answers with that failure and changes nothing. Gives a line for the log.
  std::string HandleServiceRequest(const std::string& ATopic, const std::string& APayload,
                                   int AForcedCode, TOutbox& AOut,
                                   std::vector<TResume>& AResumes);
  // The condition comes back to active when it is still paused since APausedAt.
  void ResumeIfDue(const TResume& AResume, TOutbox& AOut);

  // Received requests with what became of them ("answered", "dropped", "delayed", "failed").
  void RecordRequest(const std::string& ATopic, const std::string& APayload,
                     const std::string& AOutcome);
  json RequestLog() const;
  // REST calls received, counted per path (faulted and refused ones too).
  void RecordCall(const std::string& APath);
  json CallLog() const;
  json Snapshot() const;

 private:
  struct TNodeRef {
    int Edge = -1;
    json* Node = nullptr;
  };
  void LoadLocked(TInstant ANow);
  TNodeRef FindNode(const std::string& AID, int AOnlyEdge = -1);
  int EdgeOfAlert(const json& AAlert);
  json* FindAlert(const std::string& AID);
  json* FindItem(const std::string& AID);
  const json* FindUser(const std::string& AEmail) const;
  json UserRecord(const json& AUser) const;
  json UserOriginator(const json& AUser) const;
  json NewItem(const json& AAlert, int AType, const std::string& ACaption,
               const std::string& AText, const json& AOriginator, int AAttachments,
               int ADataType, int AState, int AEdge);
  void PublishEvent(int AEdge, int AType, const json& AObject, TOutbox& AOut) const;
  json ConditionPayload(const json& ACondition, const std::string& ARequestId, int ACode,
                        const std::string& AMessage, bool AWithState) const;

  mutable std::mutex FLock;
  json FSeed;
  json FOrg;
  json FUsers;
  json FEdges;
  json FAlerts;
  json FItems;
  json FRequests = json::array();
  json FCalls = json::object();
  unsigned FAutoTurn = 0;
};

}  // namespace ZelSim
