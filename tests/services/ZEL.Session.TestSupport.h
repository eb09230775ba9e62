#pragma once
// Shared pieces of the session-service tests: an account with a backend user record, and
// edge JSON made to order.

#include "Core/ZEL.Edge.TestFakes.h"
#include "ZEL.CRM.Types.h"

#include <memory>
#include <string>

namespace ZEL::Test {

class TRecordAuthService : public TAccountAuthService {
public:
  TRecordAuthService() { Record->organization().ID = "65f1c0de4a1b2c3d4e5f6071"; }
  std::shared_ptr<const TZELUserRecord> CRMUserRecord() override { return HasRecord ? Record : nullptr; }
  bool Logout(bool AIsUserIntent, const std::string& AReason) override {
    Logouts.push_back({AIsUserIntent, AReason});
    return true;
  }

  bool HasRecord = true;
  std::shared_ptr<TZELUserRecord> Record = std::make_shared<TZELUserRecord>();
  std::vector<std::pair<bool, std::string>> Logouts;
};

// A small edge: its conditions in the given states (0 disabled, 1 active, 2 paused).
inline nlohmann::ordered_json MakeEdge(const std::string& AID, const std::string& AGUID, const std::string& AName,
                                       std::vector<int> AConditionStates = {}) {
  nlohmann::ordered_json edge = {{"Type", 10}, {"Name", AName}, {"Description", "d"}, {"ID", AID}, {"GUID", AGUID},
                                 {"Parent", ""},
                                 {"Services", nlohmann::ordered_json::array()},
                                 {"Conditions", nlohmann::ordered_json::array()},
                                 {"Providers", nlohmann::ordered_json::array()}};
  int n = 0;
  for (int state : AConditionStates) {
    ++n;
    edge["Conditions"].push_back({{"Type", 20},
                                  {"Name", "c" + std::to_string(n)},
                                  {"Description", "d"},
                                  {"ID", AID + "-COND-" + std::to_string(n)},
                                  {"GUID", "{00000000-0000-0000-0000-00000000000" + std::to_string(n) + "}"},
                                  {"Services", nlohmann::ordered_json::array()},
                                  {"Status", {{"Enabled", true}}},
                                  {"State", {{"Data", {{"State", state}, {"PauseInterval", 60}}},
                                             {"LastState", "2025-03-01T08:00:00Z"}}}});
  }
  return edge;
}

}  // namespace ZEL::Test
