#include "World.h"

#include "SimIds.h"

#include <algorithm>
#include <cstdlib>
#include <regex>

namespace ZelSim {

namespace {

constexpr int kEdge = 10, kCondition = 20, kProvider = 30, kUser = 200;
constexpr int kSvcView = 0, kSvcDismiss = 1, kSvcEscalate = 2, kSvcSwitch = 12, kSvcPause = 15;
constexpr std::size_t kRequestLogMax = 200;
const char* const kNoGUID = "{00000000-0000-0000-0000-000000000000}";

std::string Str(const json& AObj, const char* AKey) {
  if (!AObj.is_object()) return {};
  const auto it = AObj.find(AKey);
  return it != AObj.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The member AKey of AObj, or null when AObj is no object or lacks it.
json Child(const json& AObj, const char* AKey) {
  if (!AObj.is_object()) return json();
  const auto it = AObj.find(AKey);
  return it == AObj.end() ? json() : *it;
}

std::optional<long long> Int(const json& AObj, const char* AKey) {
  if (!AObj.is_object()) return std::nullopt;
  const auto it = AObj.find(AKey);
  if (it == AObj.end() || !it->is_number()) return std::nullopt;
  if (it->is_number_float()) {
    const double d = it->get<double>();
    if (d != static_cast<double>(static_cast<long long>(d))) return std::nullopt;
    return static_cast<long long>(d);
  }
  return it->get<long long>();
}

// Reads an optional integer argument of a control call; a value of another type is an error.
int IntArg(const json& AArgs, const char* AKey, int ADefault, int AMin, int AMax) {
  if (!AArgs.contains(AKey) || AArgs[AKey].is_null()) return ADefault;
  const auto v = Int(AArgs, AKey);
  if (!v || *v < AMin || *v > AMax)
    throw ESimError(400, std::string("\"") + AKey + "\" must be an integer from " +
                             std::to_string(AMin) + " to " + std::to_string(AMax));
  return static_cast<int>(*v);
}

std::string StrArg(const json& AArgs, const char* AKey, const std::string& ADefault) {
  if (!AArgs.contains(AKey) || AArgs[AKey].is_null()) return ADefault;
  if (!AArgs[AKey].is_string()) throw ESimError(400, std::string("\"") + AKey + "\" must be a text");
  return AArgs[AKey].get<std::string>();
}

void ResolveDates(json& AValue, TInstant ANow) {
  static const std::regex relative("^now([+-][0-9]+)?$");
  if (AValue.is_string()) {
    const std::string text = AValue.get<std::string>();
    std::smatch m;
    if (std::regex_match(text, m, relative)) {
      const long long secs = m[1].matched ? std::stoll(m[1].str()) : 0;
      AValue = FormatUTC(ANow + std::chrono::seconds(secs));
    }
  } else if (AValue.is_structured()) {
    for (auto& child : AValue) ResolveDates(child, ANow);
  }
}

TInstant DateOf(const json& AObj) {
  TInstant t{};
  ParseISO8601(Str(AObj, "DateTime"), t);
  return t;
}

json Originator(const json& ANode) {
  json o = json::object();
  o["ID"] = Str(ANode, "ID");
  o["GUID"] = Str(ANode, "GUID");
  o["Name"] = Str(ANode, "Name");
  o["Description"] = Str(ANode, "Description");
  o["Type"] = Int(ANode, "Type").value_or(0);
  return o;
}

int ConditionState(const json& ACondition) {
  const json& state = ACondition.contains("State") ? ACondition["State"] : json();
  if (!state.is_object() || !state.contains("Data")) return 0;
  return static_cast<int>(Int(state["Data"], "State").value_or(0));
}

std::string Lower(std::string AText) {
  for (char& c : AText)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return AText;
}

void Require(bool ACondition, const std::string& AText) {
  if (!ACondition) throw ESimError(400, "seed: " + AText);
}

}  // namespace

// ---- loading ----------------------------------------------------------------------------

void TWorld::Load(const json& ASeed, TInstant ANow) {
  std::lock_guard lock(FLock);
  const json previous = FSeed;
  FSeed = ASeed;
  try {
    LoadLocked(ANow);
  } catch (...) {
    FSeed = previous;
    throw;
  }
}

void TWorld::Reset(TInstant ANow) {
  std::lock_guard lock(FLock);
  LoadLocked(ANow);
}

void TWorld::LoadLocked(TInstant ANow) {
  json seed = FSeed;
  Require(seed.is_object(), "not a JSON object");
  ResolveDates(seed, ANow);
  json org = seed.value("organization", json());
  Require(org.is_object() && IsObjectId(Str(org, "_id")),
          "\"organization\" needs an \"_id\" of 24 hexadecimal digits");
  json users = seed.value("users", json());
  Require(users.is_array() && !users.empty(), "\"users\" must be a non-empty array");
  for (const auto& u : users)
    Require(!Str(u, "email").empty() && !Str(u, "_id").empty(), "every user needs \"_id\" and \"email\"");
  json edges = seed.value("edges", json());
  Require(edges.is_array() && !edges.empty(), "\"edges\" must be a non-empty array");
  for (const auto& e : edges)
    Require(!Str(e, "ID").empty() && !Str(e, "GUID").empty() && e.value("Conditions", json()).is_array() &&
                e.value("Providers", json()).is_array(),
            "every edge needs \"ID\", \"GUID\", \"Conditions\" and \"Providers\"");
  json alerts = json::array(), items = json::array();
  std::vector<std::string> ids;
  for (auto a : seed.value("alerts", json::array())) {
    Require(!Str(a, "ObjectId").empty() && a.value("Originator", json()).is_object(),
            "every alert needs \"ObjectId\" and \"Originator\"");
    ids.push_back(Str(a, "ObjectId"));
    json children = a.value("Items", json::array());
    a.erase("Items");
    for (auto item : children) {
      Require(!Str(item, "ObjectId").empty(), "every item needs \"ObjectId\"");
      ids.push_back(Str(item, "ObjectId"));
      item["ParentObjectId"] = Str(a, "ObjectId");
      for (const auto& x : item.value("ExtraData", json::array())) ids.push_back(Str(x, "ObjectId"));
      items.push_back(item);
    }
    alerts.push_back(a);
  }
  std::sort(ids.begin(), ids.end());
  Require(std::adjacent_find(ids.begin(), ids.end()) == ids.end(),
          "alert, item and attachment ids must be unique");

  // The organisation as the user record carries it: the users' ids fill "users".
  json userIds = json::array();
  for (const auto& u : users) userIds.push_back(Str(u, "_id"));
  if (!org.contains("users")) org["users"] = userIds;

  FOrg = org;
  FUsers = users;
  FEdges = edges;
  FAlerts = alerts;
  FItems = items;
  FRequests = json::array();
  FCalls = json::object();
  FAutoTurn = 0;
}

// ---- lookups ----------------------------------------------------------------------------

const json* TWorld::FindUser(const std::string& AEmail) const {
  for (const auto& u : FUsers)
    if (Lower(Str(u, "email")) == Lower(AEmail)) return &u;
  return nullptr;
}

json TWorld::UserRecord(const json& AUser) const {
  json rec = json::object();
  rec["__v"] = 0;
  for (const auto& [key, value] : AUser.items())
    if (key != "inviteCode") rec[key] = value;
  rec["organization"] = FOrg;
  if (!rec.contains("organizations")) rec["organizations"] = json::array({Str(FOrg, "_id")});
  return rec;
}

json TWorld::UserOriginator(const json& AUser) const {
  json o = json::object();
  o["ID"] = Str(AUser, "email");
  o["GUID"] = kNoGUID;
  o["Name"] = Str(AUser, "name");
  o["Description"] = "User";
  o["Type"] = kUser;
  return o;
}

bool TWorld::IsKnownUser(const std::string& AEmail) const {
  std::lock_guard lock(FLock);
  return FindUser(AEmail) != nullptr;
}

std::optional<json> TWorld::UserRecordByEmail(const std::string& AEmail) const {
  std::lock_guard lock(FLock);
  const json* u = FindUser(AEmail);
  if (!u) return std::nullopt;
  return UserRecord(*u);
}

std::optional<json> TWorld::UserRecordByInvite(const std::string& ACode) const {
  std::lock_guard lock(FLock);
  if (ACode.empty()) return std::nullopt;
  for (const auto& u : FUsers)
    if (Str(u, "inviteCode") == ACode) return UserRecord(u);
  return std::nullopt;
}

json TWorld::SyncArray() const {
  std::lock_guard lock(FLock);
  return FEdges;
}

json TWorld::AlertsInPeriod(const std::optional<TInstant>& ABegin,
                            const std::optional<TInstant>& AEnd) const {
  std::lock_guard lock(FLock);
  std::vector<const json*> hits;
  for (const auto& a : FAlerts) {
    const TInstant t = DateOf(a);
    if ((!ABegin || t >= *ABegin) && (!AEnd || t <= *AEnd)) hits.push_back(&a);
  }
  std::stable_sort(hits.begin(), hits.end(),
                   [](const json* x, const json* y) { return DateOf(*x) > DateOf(*y); });
  json out = json::array();
  for (const json* a : hits) out.push_back(*a);
  return out;
}

json* TWorld::FindAlert(const std::string& AID) {
  for (auto& a : FAlerts)
    if (Str(a, "ObjectId") == AID) return &a;
  return nullptr;
}

json* TWorld::FindItem(const std::string& AID) {
  for (auto& i : FItems)
    if (Str(i, "ObjectId") == AID) return &i;
  return nullptr;
}

std::optional<json> TWorld::AlertById(const std::string& AID) const {
  std::lock_guard lock(FLock);
  const json* a = const_cast<TWorld*>(this)->FindAlert(AID);
  if (!a) return std::nullopt;
  return *a;
}

std::optional<json> TWorld::ItemsOfAlert(const std::string& AAlertID) const {
  std::lock_guard lock(FLock);
  if (!const_cast<TWorld*>(this)->FindAlert(AAlertID)) return std::nullopt;
  json out = json::array();
  for (const auto& i : FItems)
    if (Str(i, "ParentObjectId") == AAlertID) out.push_back(i);
  return out;
}

std::optional<json> TWorld::ExtrasOfItem(const std::string& AItemID) const {
  std::lock_guard lock(FLock);
  const json* i = const_cast<TWorld*>(this)->FindItem(AItemID);
  if (!i) return std::nullopt;
  return i->value("ExtraData", json::array());
}

std::optional<TExtraInfo> TWorld::ExtraById(const std::string& AID) const {
  std::lock_guard lock(FLock);
  for (const auto& i : FItems)
    for (const auto& x : i.value("ExtraData", json::array()))
      if (Str(x, "ObjectId") == AID)
        return TExtraInfo{static_cast<int>(Int(x, "State").value_or(3)),
                          static_cast<int>(Int(x, "DataType").value_or(1))};
  return std::nullopt;
}

TWorld::TNodeRef TWorld::FindNode(const std::string& AID, int AOnlyEdge) {
  for (int e = 0; e < static_cast<int>(FEdges.size()); ++e) {
    if (AOnlyEdge >= 0 && e != AOnlyEdge) continue;
    json& edge = FEdges[static_cast<std::size_t>(e)];
    if (SameUpper(Str(edge, "ID"), AID)) return {e, &edge};
    for (auto& c : edge["Conditions"])
      if (SameUpper(Str(c, "ID"), AID)) return {e, &c};
    for (auto& p : edge["Providers"]) {
      if (SameUpper(Str(p, "ID"), AID)) return {e, &p};
      if (p.contains("Devices") && p["Devices"].is_array())
        for (auto& d : p["Devices"])
          if (SameUpper(Str(d, "ID"), AID)) return {e, &d};
    }
  }
  return {};
}

int TWorld::EdgeOfAlert(const json& AAlert) {
  const json& o = AAlert.contains("Originator") ? AAlert["Originator"] : AAlert.value("Source", json());
  return FindNode(Str(o, "ID")).Edge;
}

std::vector<std::string> TWorld::RequestTopics() const {
  std::lock_guard lock(FLock);
  std::vector<std::string> out;
  for (const auto& e : FEdges) out.push_back(Str(e, "GUID") + "/" + Str(e, "ID") + "/Service/Request");
  return out;
}

std::string TWorld::OrgEventTopic() const {
  std::lock_guard lock(FLock);
  const std::string id = Str(FOrg, "_id");
  return ObjectIdToGUIDText(id) + "/" + id + "/Event";
}

std::vector<TResume> TWorld::PendingResumes() const {
  std::lock_guard lock(FLock);
  std::vector<TResume> out;
  for (const auto& e : FEdges)
    for (const auto& c : e["Conditions"]) {
      if (ConditionState(c) != 2) continue;
      const json& data = c["State"]["Data"];
      TInstant pausedAt;
      const auto interval = Int(data, "PauseInterval");
      if (!interval || *interval <= 0 || !ParseISO8601(Str(data, "PausedAt"), pausedAt)) continue;
      out.push_back({Str(c, "ID"), Str(data, "PausedAt"), pausedAt + std::chrono::seconds(*interval)});
    }
  return out;
}

json TWorld::Snapshot() const {
  std::lock_guard lock(FLock);
  json out = json::object();
  out["organization"] = FOrg;
  out["users"] = FUsers;
  out["edges"] = FEdges;
  out["alerts"] = FAlerts;
  out["items"] = FItems;
  return out;
}

void TWorld::RecordRequest(const std::string& ATopic, const std::string& APayload,
                           const std::string& AOutcome) {
  std::lock_guard lock(FLock);
  json entry = json::object();
  entry["receivedAt"] = FormatUTC(Now());
  entry["topic"] = ATopic;
  json parsed = json::parse(APayload, nullptr, false);
  entry["payload"] = parsed.is_discarded() ? json(APayload) : parsed;
  entry["outcome"] = AOutcome;
  FRequests.push_back(entry);
  if (FRequests.size() > kRequestLogMax) FRequests.erase(FRequests.begin());
}

json TWorld::RequestLog() const {
  std::lock_guard lock(FLock);
  return FRequests;
}

void TWorld::RecordCall(const std::string& APath) {
  std::lock_guard lock(FLock);
  FCalls[APath] = FCalls.value(APath, 0) + 1;
}

json TWorld::CallLog() const {
  std::lock_guard lock(FLock);
  return FCalls;
}

// ---- publishing -------------------------------------------------------------------------

void TWorld::PublishEvent(int AEdge, int AType, const json& AObject, TOutbox& AOut) const {
  json payload = json::object();
  payload["Type"] = AType;
  for (const auto& [key, value] : AObject.items())
    if (key != "Type") payload[key] = value;
  const std::string text = payload.dump();
  if (AEdge >= 0) {
    const json& edge = FEdges[static_cast<std::size_t>(AEdge)];
    AOut.push_back({Str(edge, "GUID") + "/" + Str(edge, "ID") + "/Event", text});
  }
  const std::string id = Str(FOrg, "_id");
  AOut.push_back({ObjectIdToGUIDText(id) + "/" + id + "/Event", text});
}

json TWorld::NewItem(const json& AAlert, int AType, const std::string& ACaption,
                     const std::string& AText, const json& AOriginator, int AAttachments,
                     int ADataType, int AState, int AEdge) {
  const std::string now = FormatUTC(Now());
  json item = json::object();
  item["ObjectId"] = NewObjectId();
  item["ParentObjectId"] = Str(AAlert, "ObjectId");
  item["ItemType"] = AType;
  item["DateTime"] = now;
  item["Caption"] = ACaption;
  item["Text"] = AText;
  item["Originator"] = AOriginator;
  json extras = json::array();
  if (AAttachments > 0) {
    // The pictures come from a device of the alert's edge, an online one when there is one.
    json source = json::object();
    bool online = false;
    if (AEdge >= 0)
      for (const auto& p : FEdges[static_cast<std::size_t>(AEdge)]["Providers"])
        for (const auto& d : p.value("Devices", json::array())) {
          const bool on = d.value("Status", json::object()).value("Online", false);
          if (source.empty() || (on && !online)) source = Originator(d);
          online = online || on;
        }
    if (source.empty()) source = AOriginator;
    for (int n = 0; n < AAttachments; ++n) {
      json x = json::object();
      x["ObjectId"] = NewObjectId();
      x["State"] = AState;
      x["DateTime"] = now;
      x["DataType"] = ADataType;
      x["Text"] = ADataType == 1 ? "Snapshot " + std::to_string(n + 1) : "Clip " + std::to_string(n + 1);
      x["Caption"] = Str(source, "Name");
      x["DataSource"] = source;
      extras.push_back(x);
    }
  }
  item["ExtraData"] = extras;
  FItems.push_back(item);
  return item;
}

// ---- control operations -----------------------------------------------------------------

json TWorld::RaiseAlert(const json& AArgs, TOutbox& AOut) {
  std::lock_guard lock(FLock);
  if (!AArgs.is_object()) throw ESimError(400, "arguments must be a JSON object");
  std::string edgeId = StrArg(AArgs, "edge", "");
  if (edgeId.empty()) {
    // A condition alone names its edge.
    const TNodeRef byCondition = FindNode(StrArg(AArgs, "condition", ""));
    edgeId = Str(FEdges[static_cast<std::size_t>(std::max(byCondition.Edge, 0))], "ID");
  }
  const TNodeRef edge = FindNode(edgeId);
  if (!edge.Node || Int(*edge.Node, "Type").value_or(0) != kEdge)
    throw ESimError(404, "unknown edge \"" + edgeId + "\"");
  json* origin = edge.Node;
  if (AArgs.contains("condition") && !AArgs["condition"].is_null()) {
    const std::string condId = StrArg(AArgs, "condition", "");
    const TNodeRef cond = FindNode(condId, edge.Edge);
    if (!cond.Node || Int(*cond.Node, "Type").value_or(0) != kCondition)
      throw ESimError(404, "edge \"" + edgeId + "\" has no condition \"" + condId + "\"");
    origin = cond.Node;
  } else {
    for (auto& c : (*edge.Node)["Conditions"])
      if (ConditionState(c) == 1) {
        origin = &c;
        break;
      }
  }
  const int attachments = IntArg(AArgs, "attachments", 1, 0, 10);
  const int dataType = IntArg(AArgs, "dataType", 1, 1, 3);
  const int state = IntArg(AArgs, "attachmentState", 0, 0, 3);
  const std::string caption = StrArg(AArgs, "caption", Str(*origin, "Name"));
  const std::string text = StrArg(AArgs, "text", "Raised by " + Str(*origin, "Name") + " at " +
                                                     Str(*edge.Node, "Name") + ".");
  json alert = json::object();
  const std::string now = FormatUTC(Now());
  alert["ObjectId"] = NewObjectId();
  alert["State"] = "easInitiated";
  alert["Active"] = true;
  alert["Viewed"] = false;
  alert["LastViewedAt"] = now;
  alert["LastViewedBy"] = "";
  alert["DateTime"] = now;
  alert["Caption"] = caption;
  alert["Text"] = text;
  alert["Originator"] = Originator(*origin);
  FAlerts.push_back(alert);
  const json item = NewItem(alert, 0, caption, text, Originator(*origin), attachments, dataType,
                            state, edge.Edge);
  PublishEvent(edge.Edge, 1, alert, AOut);
  PublishEvent(edge.Edge, 2, item, AOut);
  json out = json::object();
  out["alert"] = alert;
  out["item"] = item;
  return out;
}

json TWorld::AddItem(const json& AArgs, TOutbox& AOut) {
  std::lock_guard lock(FLock);
  if (!AArgs.is_object()) throw ESimError(400, "arguments must be a JSON object");
  const std::string alertId = StrArg(AArgs, "alertId", "");
  if (alertId.empty()) throw ESimError(400, "\"alertId\" (text) is required");
  json* alert = FindAlert(alertId);
  if (!alert) throw ESimError(404, "unknown alert \"" + alertId + "\"");
  const int type = IntArg(AArgs, "itemType", 5, 0, 5);
  const int attachments = IntArg(AArgs, "attachments", 0, 0, 10);
  const int dataType = IntArg(AArgs, "dataType", 1, 1, 3);
  const int state = IntArg(AArgs, "attachmentState", 0, 0, 3);
  static const char* const kCaptions[] = {"Event", "Viewed", "Dismissed", "Escalated", "Inactive", "Note"};
  const std::string caption = StrArg(AArgs, "caption", kCaptions[type]);
  const std::string text = StrArg(AArgs, "text", std::string(kCaptions[type]) + ".");
  json originator = (*alert)["Originator"];
  if (type >= 1 && type <= 3) {
    const std::string email = StrArg(AArgs, "user", Str(FUsers[0], "email"));
    const json* user = FindUser(email);
    if (!user) throw ESimError(404, "unknown user \"" + email + "\"");
    originator = UserOriginator(*user);
  }
  const int edge = EdgeOfAlert(*alert);
  const json item = NewItem(*alert, type, caption, text, originator, attachments, dataType, state, edge);
  // The same effect the client gives the item, so that later answers agree with it.
  if (type == 1 && !alert->value("Viewed", false)) {
    (*alert)["Viewed"] = true;
    (*alert)["LastViewedAt"] = item["DateTime"];
    (*alert)["LastViewedBy"] = originator["Name"];
  } else if (type == 2) {
    (*alert)["State"] = "easDismissed";
    (*alert)["Active"] = false;
  } else if (type == 3) {
    (*alert)["State"] = "easEscalated";
  } else if (type == 4) {
    (*alert)["Active"] = false;
  }
  PublishEvent(edge, 2, item, AOut);
  return item;
}

json TWorld::MoveAttachment(const json& AArgs, TOutbox& AOut) {
  std::lock_guard lock(FLock);
  if (!AArgs.is_object()) throw ESimError(400, "arguments must be a JSON object");
  const std::string id = StrArg(AArgs, "objectId", "");
  if (id.empty()) throw ESimError(400, "\"objectId\" (text) is required");
  for (auto& item : FItems) {
    if (!item.contains("ExtraData") || !item["ExtraData"].is_array()) continue;
    for (auto& x : item["ExtraData"]) {
      if (Str(x, "ObjectId") != id) continue;
      const int current = static_cast<int>(Int(x, "State").value_or(3));
      const int next = IntArg(AArgs, "state", std::min(current + 1, 2), 0, 3);
      const bool force = AArgs.value("force", false);
      if (next < current && !force)
        throw ESimError(409, "attachment state goes only forward (now " + std::to_string(current) +
                                 "); pass \"force\": true to publish a step back");
      x["State"] = next;
      x["DateTime"] = FormatUTC(Now());
      json update = json::object();
      update["ParentObjectId"] = Str(item, "ObjectId");
      update["ObjectId"] = id;
      update["State"] = next;
      update["DateTime"] = x["DateTime"];
      update["Originator"] = x.value("DataSource", item["Originator"]);
      json* alert = FindAlert(Str(item, "ParentObjectId"));
      PublishEvent(alert ? EdgeOfAlert(*alert) : -1, 5, update, AOut);
      return x;
    }
  }
  throw ESimError(404, "unknown attachment \"" + id + "\"");
}

std::optional<json> TWorld::NextAutoAlertArgs() {
  std::lock_guard lock(FLock);
  for (std::size_t tries = 0; tries < FEdges.size(); ++tries) {
    const json& edge = FEdges[FAutoTurn++ % FEdges.size()];
    for (const auto& c : edge["Conditions"])
      if (ConditionState(c) == 1) {
        json args = json::object();
        args["edge"] = Str(edge, "ID");
        args["condition"] = Str(c, "ID");
        return args;
      }
  }
  return std::nullopt;
}

// ---- service requests -------------------------------------------------------------------

json TWorld::ConditionPayload(const json& ANode, const std::string& ARequestId, int ACode,
                              const std::string& AMessage, bool AWithState) const {
  json p = json::object();
  p["Type"] = 4;
  p["ObjectId"] = NewObjectId();
  if (!ARequestId.empty()) p["RequestId"] = ARequestId;
  p["DateTime"] = FormatUTC(Now());
  json originator = Originator(ANode);
  if (AWithState) {
    originator["Status"] = ANode.value("Status", json::object());
    originator["State"] = ANode.value("State", json::object());
  }
  p["Originator"] = originator;
  json response = json::object();
  response["Code"] = ACode;
  response["Message"] = AMessage;
  response["Originator"] = {{"ID", Str(ANode, "ID")}, {"Type", Int(ANode, "Type").value_or(0)}};
  p["Response"] = response;
  return p;
}

std::string TWorld::HandleServiceRequest(const std::string& ATopic, const std::string& APayload,
                                         int AForcedCode, TOutbox& AOut,
                                         std::vector<TResume>& AResumes) {
  std::lock_guard lock(FLock);
  const json req = json::parse(APayload, nullptr, false);
  if (!req.is_object()) return "ignored: payload is not a JSON object";
  if (Int(req, "Type").value_or(-1) != 6) return "ignored: \"Type\" is not 6";
  int edgeIdx = -1;
  for (int e = 0; e < static_cast<int>(FEdges.size()); ++e) {
    const json& edge = FEdges[static_cast<std::size_t>(e)];
    if (SameUpper(Str(edge, "GUID") + "/" + Str(edge, "ID") + "/Service/Request", ATopic)) edgeIdx = e;
  }
  if (edgeIdx < 0) return "ignored: not an edge's request topic";
  json& edge = FEdges[static_cast<std::size_t>(edgeIdx)];
  const std::string requestId = Str(req, "RequestId");
  const std::string email = Str(Child(req, "Source"), "ID");
  if (email.empty()) return "ignored: no \"Source\".\"ID\" to answer to";
  const std::string responseTopic = Str(edge, "GUID") + "/" + email + "/Service/Response";

  json* node = &edge;
  auto answer = [&](int ACode, const std::string& AMessage, bool AWithState) {
    AOut.push_back({responseTopic, ConditionPayload(*node, requestId, ACode, AMessage, AWithState).dump()});
    return "answered " + std::to_string(ACode) + ": " + AMessage;
  };

  const json* user = FindUser(email);
  if (!user) return answer(403, "unknown user " + email, false);
  const std::string providerId = Str(Child(req, "ServiceProvider"), "ID");
  const TNodeRef target = FindNode(providerId, edgeIdx);
  if (!target.Node) return answer(404, "no service provider \"" + providerId + "\" at this edge", false);
  node = target.Node;
  const auto index = Int(req, "ServiceIndex");
  const json* service = nullptr;
  if (node->contains("Services") && (*node)["Services"].is_array())
    for (const auto& s : (*node)["Services"])
      if (index && Int(s, "Index") == index && !service) service = &s;
  if (!service) return answer(404, "no service with this index", false);
  if (AForcedCode != 0) return answer(AForcedCode, "failure asked for by the control port", false);

  const json params = Child(Child(req, "RequestData"), "Params");
  const int kind = static_cast<int>(Int(*service, "Type").value_or(-1));
  const std::string now = FormatUTC(Now());

  if (kind == kSvcView || kind == kSvcDismiss || kind == kSvcEscalate) {
    const std::string alertId = Str(params, "IncidentId");
    if (alertId.empty()) return answer(400, "\"IncidentId\" missing", false);
    json* alert = FindAlert(alertId);
    if (!alert || EdgeOfAlert(*alert) != edgeIdx) return answer(404, "no alert " + alertId + " at this edge", false);
    const json who = UserOriginator(*user);
    const std::string state = Lower(Str(*alert, "State"));
    json item;
    if (kind == kSvcView) {
      bool seen = false;
      for (const auto& i : FItems)
        seen = seen || (Str(i, "ParentObjectId") == alertId && Int(i, "ItemType") == 1 &&
                        SameUpper(Str(Child(i, "Originator"), "ID"), email));
      if (!(*alert).value("Viewed", false)) {
        (*alert)["Viewed"] = true;
        (*alert)["LastViewedAt"] = now;
        (*alert)["LastViewedBy"] = Str(*user, "name");
      }
      if (!seen) item = NewItem(*alert, 1, "Viewed", "Viewed by " + Str(*user, "name") + ".", who, 0, 1, 0, edgeIdx);
    } else {
      const auto code = Int(params, "ReasonCode");
      if (!code) return answer(400, "\"ReasonCode\" missing", false);
      const json reasons = Child(Child(*service, "Params"), "Reasons");
      json table;
      if (kind == kSvcDismiss) {
        if (state == "easdismissed") return answer(409, "alert already dismissed", false);
        table = Child(reasons, state == "easescalated" ? "easEscalated" : "easInitiated");
      } else {
        if (state == "easescalated") return answer(409, "alert already escalated", false);
        table = reasons;
      }
      std::string reasonText;
      bool known = false;
      if (table.is_array())
        for (const auto& r : table)
          if (Int(r, "Code") == code) {
            known = true;
            reasonText = Str(r, "Reason");
          }
      if (!known) return answer(400, "reason code " + std::to_string(*code) + " is not offered", false);
      const std::string given = Str(params, "Reason");
      if (!given.empty()) reasonText = given;
      if (kind == kSvcDismiss) {
        (*alert)["State"] = "easDismissed";
        (*alert)["Active"] = false;
        item = NewItem(*alert, 2, "Dismissed", reasonText, who, 0, 1, 0, edgeIdx);
      } else {
        (*alert)["State"] = "easEscalated";
        item = NewItem(*alert, 3, "Escalated", reasonText, who, 0, 1, 0, edgeIdx);
      }
    }
    const std::string line = answer(200, "OK", false);
    if (!item.is_null()) PublishEvent(edgeIdx, 2, item, AOut);
    return line;
  }

  if (kind == kSvcPause || kind == kSvcSwitch) {
    if (Int(*node, "Type").value_or(0) != kCondition) return answer(400, "only conditions pause or switch", false);
    json& cond = *node;
    if (kind == kSvcPause) {
      const auto interval = Int(params, "Interval");
      if (!interval || *interval <= 0) return answer(400, "\"Interval\" must be a positive number of seconds", false);
      if (ConditionState(cond) == 0) return answer(409, "condition is switched off", false);
      cond["State"] = {{"Data", {{"State", 2}, {"PauseInterval", *interval}, {"PausedAt", now}}}, {"LastState", now}};
      cond["Status"] = {{"Enabled", true}};
      TInstant at;
      ParseISO8601(now, at);
      AResumes.push_back({Str(cond, "ID"), now, at + std::chrono::seconds(*interval)});
    } else {
      const auto on = Int(params, "State");
      if (!on || (*on != 0 && *on != 1)) return answer(400, "\"State\" must be 0 or 1", false);
      cond["State"] = {{"Data", {{"State", *on}}}, {"LastState", now}};
      cond["Status"] = {{"Enabled", *on == 1}};
    }
    const std::string line = answer(200, "OK", true);
    AOut.push_back({Str(edge, "GUID") + "/" + Str(edge, "ID") + "/Update",
                    ConditionPayload(cond, "", 200, "OK", true).dump()});
    return line;
  }
  return answer(400, "service type not supported", false);
}

void TWorld::ResumeIfDue(const TResume& AResume, TOutbox& AOut) {
  std::lock_guard lock(FLock);
  const TNodeRef ref = FindNode(AResume.ConditionId);
  if (!ref.Node || ConditionState(*ref.Node) != 2) return;
  if (Str((*ref.Node)["State"]["Data"], "PausedAt") != AResume.PausedAt) return;
  json& cond = *ref.Node;
  cond["State"] = {{"Data", {{"State", 1}}}, {"LastState", FormatUTC(Now())}};
  cond["Status"] = {{"Enabled", true}};
  const json& edge = FEdges[static_cast<std::size_t>(ref.Edge)];
  AOut.push_back({Str(edge, "GUID") + "/" + Str(edge, "ID") + "/Update",
                  ConditionPayload(cond, "", 200, "Pause ended", true).dump()});
}

}  // namespace ZelSim
