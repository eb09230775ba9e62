#pragma once
// Alert items with attachments, and conditions with services, made to order for the item
// details view's tests.

#include "ZEL.Edge.h"
#include "ZEL.Events.Item.h"
#include "ZEL.Time.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

namespace ZEL::Test {

struct TAttachmentSpec {
  std::string ID;
  std::string DeviceID = "CAM-1";
  std::string DeviceName = "Gate camera";
  int State = 2;
  int DataType = 1;
  std::string Text = "Snapshot";
};

inline nlohmann::ordered_json AttachmentJSON(const TAttachmentSpec& A) {
  return {{"ObjectId", A.ID},
          {"State", A.State},
          {"DateTime", "2025-03-01T08:00:05Z"},
          {"DataType", A.DataType},
          {"Text", A.Text},
          {"Caption", A.DeviceName},
          {"DataSource",
           {{"ID", A.DeviceID}, {"GUID", "{00000000-0000-0000-0000-0000000000AA}"}, {"Name", A.DeviceName},
            {"Description", "d"}, {"Type", 40}}}};
}

struct TItemSpec {
  std::string ID = "17e4000000000000000000a1";
  std::string AlertID = "a1e7000000000000000000a1";
  std::string Caption = "Yard motion";
  std::string Text = "Person at the gate.";
  std::string OriginatorID = "EDGE-1-COND-1";
  std::string OriginatorName = "c1";
  int OriginatorType = 20;
  std::string OriginatorGUID = "{00000000-0000-0000-0000-000000000001}";
  std::string DateTime = "2025-03-01T08:00:00Z";
  std::vector<TAttachmentSpec> Attachments;
};

inline nlohmann::ordered_json ItemJSON(const TItemSpec& A) {
  nlohmann::ordered_json item = {
      {"ObjectId", A.ID},
      {"ParentObjectId", A.AlertID},
      {"ItemType", 0},
      {"DateTime", A.DateTime},
      {"Caption", A.Caption},
      {"Text", A.Text},
      {"Originator",
       {{"ID", A.OriginatorID}, {"GUID", A.OriginatorGUID}, {"Name", A.OriginatorName}, {"Description", "d"},
        {"Type", A.OriginatorType}}}};
  if (!A.Attachments.empty()) {
    item["ExtraData"] = nlohmann::ordered_json::array();
    for (const TAttachmentSpec& x : A.Attachments) item["ExtraData"].push_back(AttachmentJSON(x));
  }
  return item;
}

inline std::unique_ptr<TZELEventItem> MakeItem(const TItemSpec& A) {
  return std::make_unique<TZELEventItem>(ItemJSON(A).dump());
}

// A service of the edge protocol: 12 switch, 15 pause, 0 view.
inline nlohmann::ordered_json ServiceJSON(int AType, int AIndex, const std::string& AName) {
  return {{"Type", AType}, {"Index", AIndex}, {"Name", AName}, {"Description", AName + " service"}};
}

// A condition in state AState (0 disabled, 1 active, 2 paused) with the services given.
inline nlohmann::ordered_json ConditionJSON(const std::string& AID, int AState,
                                            const std::vector<nlohmann::ordered_json>& AServices,
                                            const std::string& AName = "Gate") {
  nlohmann::ordered_json services = nlohmann::ordered_json::array();
  for (const auto& s : AServices) services.push_back(s);
  return {{"Type", 20},
          {"Name", AName},
          {"Description", "d"},
          {"ID", AID},
          {"GUID", "{00000000-0000-0000-0000-000000000001}"},
          {"Services", services},
          {"Status", {{"Enabled", AState != 0}}},
          {"State",
           {{"Data", {{"State", AState}, {"PauseInterval", 600}, {"PausedAt", Time::FormatISO8601UTC(Time::Now())}}},
            {"LastState", Time::FormatISO8601UTC(Time::Now())}}}};
}

}  // namespace ZEL::Test
