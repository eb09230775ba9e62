#pragma once
// The alerts and the edge the benchmark programs feed to the model: one element of the
// backend's alert array as the backend sends it (the alert's keys, its items' counts and its
// latest attachments, about 1.0 kB), numbered so that every one has its own ObjectId.

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <string>

namespace ZEL::Bench {

using TBenchJSON = nlohmann::ordered_json;

inline std::string ObjectId(int AKind, long ANumber) { return fmt::format("64b{}{:020x}", AKind, ANumber); }

inline std::string Stamp(long ASecond) {
  return fmt::format("2024-03-{:02}T{:02}:{:02}:{:02}.000Z", 1 + ASecond / 86400 % 28, ASecond / 3600 % 24,
                     ASecond / 60 % 60, ASecond % 60);
}

// A condition's originator; AConditionID names the condition it stands for.
inline TBenchJSON Originator(long AN, const std::string& AConditionID, const std::string& AGUID) {
  return {{"ID", AConditionID},
          {"GUID", AGUID},
          {"Name", fmt::format("Camera zone {}", AN % 50)},
          {"Description", "Perimeter camera condition"},
          {"Type", 20}};
}

inline TBenchJSON Attachment(long AN, int AIndex) {
  return {{"ObjectId", ObjectId(2, AN * 4 + AIndex)},
          {"State", AIndex % 4},
          {"DateTime", Stamp(AN * 60 + AIndex + 2)},
          {"DataType", 1 + AIndex % 3},
          {"Text", AIndex % 3 == 0 ? "Snapshot" : "Clip"},
          {"Caption", fmt::format("Zone {} #{}", AN % 50, AIndex)},
          {"DataSource", {{"ID", fmt::format("cam-{}", AN % 50)}, {"Name", "Perimeter camera"}, {"Type", 40}}}};
}

// Alert number AN with the given originator; a third of them viewed already.
inline TBenchJSON AlertElement(long AN, TBenchJSON AOriginator) {
  const bool viewed = AN % 3 == 0;
  TBenchJSON alert = {{"ObjectId", ObjectId(0, AN)},
                      {"State", AN % 5 == 0 ? "easEscalated" : (AN % 7 == 0 ? "easDismissed" : "easInitiated")},
                      {"Active", AN % 2 == 0},
                      {"Viewed", viewed},
                      {"DateTime", Stamp(AN * 60)},
                      {"Caption", fmt::format("Motion in zone {}", AN % 50)},
                      {"Text", "Person detected by the perimeter camera"},
                      {"Originator", std::move(AOriginator)},
                      {"ItemsCount", 1 + AN % 6},
                      {"ImagesCount", AN % 3},
                      {"VideosCount", AN % 2}};
  if (viewed) {
    alert["LastViewedAt"] = Stamp(AN * 60 + 30);
    alert["LastViewedBy"] = "Operator One";
  }
  alert["ExtraData"] = {Attachment(AN, 0), Attachment(AN, 1)};
  return alert;
}

// A history entry with two attachments for alert number AParent (a type 2 payload).
inline std::string HistoryEntryPayload(long AParent, long AItemNo, TBenchJSON AOriginator) {
  TBenchJSON item = {{"Type", 2},
                     {"ObjectId", ObjectId(1, AItemNo)},
                     {"ParentObjectId", ObjectId(0, AParent)},
                     {"ItemType", 0},
                     {"DateTime", Stamp(AParent * 60 + 5)},
                     {"Caption", "Motion"},
                     {"Text", "Person detected\n\rby the perimeter camera"},
                     {"Originator", std::move(AOriginator)},
                     {"ExtraData", {Attachment(AItemNo, 0), Attachment(AItemNo, 1)}}};
  return item.dump();
}

// The upload state of the first attachment of history entry AItemNo (a type 5 payload).
inline std::string UploadPayload(long AParent, long AItemNo) {
  TBenchJSON upload = {{"Type", 5},
                       {"ObjectId", ObjectId(2, AItemNo * 4)},
                       {"ParentObjectId", ObjectId(1, AItemNo)},
                       {"State", 2},
                       {"DateTime", Stamp(AParent * 60 + 9)},
                       {"Originator", {{"ID", "cam-1"}, {"Name", "Perimeter camera"}, {"Type", 40}}}};
  return upload.dump();
}

// Edge "EDGE-1" with three enabled conditions, "EDGE-1-COND-1" to "-3".
inline TBenchJSON EdgeJSON() {
  TBenchJSON edge = {{"Type", 10},          {"Name", "North"}, {"Description", "d"}, {"ID", "EDGE-1"},
                     {"GUID", "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}"}, {"Parent", ""},
                     {"Services", TBenchJSON::array()}, {"Conditions", TBenchJSON::array()},
                     {"Providers", TBenchJSON::array()}};
  for (int n = 1; n <= 3; ++n)
    edge["Conditions"].push_back({{"Type", 20},
                                  {"Name", fmt::format("c{}", n)},
                                  {"Description", "d"},
                                  {"ID", fmt::format("EDGE-1-COND-{}", n)},
                                  {"GUID", fmt::format("{{00000000-0000-0000-0000-00000000000{}}}", n)},
                                  {"Services", TBenchJSON::array()},
                                  {"Status", {{"Enabled", true}}},
                                  {"State", {{"Data", {{"State", 1}, {"PauseInterval", 60}}}}}});
  return edge;
}

}  // namespace ZEL::Bench
