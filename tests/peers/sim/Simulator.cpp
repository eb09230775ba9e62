#include "Simulator.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace ZelSim {

TSimulator::TSimulator(TSimOptions AOptions) : FOptions(std::move(AOptions)) {}

bool TSimulator::Start(std::string& AError) {
  {
    std::ifstream clip(FOptions.ClipPath, std::ios::binary);
    std::stringstream bytes;
    if (clip) bytes << clip.rdbuf();
    FClip = bytes.str();
    if (FClip.empty()) {
      AError = "cannot read the clip file \"" + FOptions.ClipPath + "\"";
      return false;
    }
  }
  std::ifstream in(FOptions.SeedPath);
  if (!in) {
    AError = "cannot read the seed file \"" + FOptions.SeedPath + "\"";
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  const json seed = json::parse(text.str(), nullptr, false);
  if (seed.is_discarded()) {
    AError = "the seed file \"" + FOptions.SeedPath + "\" is not valid JSON";
    return false;
  }
  try {
    FWorld.Load(seed, SeedTime());
  } catch (const std::exception& e) {  // ESimError, or a value of the wrong JSON type
    AError = std::string("bad seed: ") + e.what();
    return false;
  }
  ScheduleResumes(FWorld.PendingResumes());
  if (FOptions.UseBroker &&
      !FBroker.Start(FOptions.Broker, FWorld.RequestTopics(),
                     [this](const std::string& t, const std::string& p) { OnRequest(t, p); }, AError))
    return false;
  ArmAutoAlerts();
  return true;
}

void TSimulator::Stop() {
  FStopping = true;
  FScheduler.Stop();
  FBroker.Stop();
}

void TSimulator::Publish(const TOutbox& AOut) {
  for (const auto& m : AOut) {
    if (!FOptions.UseBroker) {
      std::fprintf(stderr, "[sim] (no broker) would publish on \"%s\"\n", m.Topic.c_str());
      continue;
    }
    FBroker.Publish(m.Topic, m.Payload);
  }
}

void TSimulator::OnRequest(const std::string& ATopic, const std::string& APayload) {
  const TRequestPolicy policy = FFaults.TakePolicy();
  if (policy.Mode == "drop") {
    FWorld.RecordRequest(ATopic, APayload, "dropped");
    std::fprintf(stderr, "[sim] request on \"%s\" dropped\n", ATopic.c_str());
  } else if (policy.Mode == "delay") {
    FWorld.RecordRequest(ATopic, APayload, "delayed " + std::to_string(policy.DelayMs) + " ms");
    FScheduler.After(std::chrono::milliseconds(policy.DelayMs),
                     [this, ATopic, APayload] { ProcessRequest(ATopic, APayload, 0); });
  } else {
    ProcessRequest(ATopic, APayload, policy.Mode == "fail" ? policy.Code : 0);
  }
}

void TSimulator::ProcessRequest(const std::string& ATopic, const std::string& APayload, int AForcedCode) {
  TOutbox out;
  std::vector<TResume> resumes;
  const std::string line = FWorld.HandleServiceRequest(ATopic, APayload, AForcedCode, out, resumes);
  FWorld.RecordRequest(ATopic, APayload, line);
  std::fprintf(stderr, "[sim] request on \"%s\": %s\n", ATopic.c_str(), line.c_str());
  Publish(out);
  ScheduleResumes(resumes);
}

void TSimulator::ScheduleResumes(const std::vector<TResume>& AResumes) {
  for (const auto& r : AResumes)
    FScheduler.At(r.Due, [this, r] {
      TOutbox out;
      FWorld.ResumeIfDue(r, out);
      Publish(out);
    });
}

void TSimulator::ScheduleProgress(const json& AItem, int AStepMs) {
  for (const auto& x : AItem.value("ExtraData", json::array())) {
    const std::string id = x.value("ObjectId", "");
    for (int step = 1; step <= 2; ++step) {
      const int state = step == 1 ? 1 : 2;
      FScheduler.After(std::chrono::milliseconds(AStepMs * step), [this, id, state] {
        TOutbox out;
        try {
          FWorld.MoveAttachment({{"objectId", id}, {"state", state}}, out);
        } catch (const ESimError&) {
          return;  // moved on by the control port meanwhile
        }
        Publish(out);
      });
    }
  }
}

json TSimulator::RaiseAlert(const json& AArgs) {
  TOutbox out;
  json result = FWorld.RaiseAlert(AArgs, out);
  Publish(out);
  const int step = AArgs.is_object() && AArgs.contains("autoAdvanceMs") && AArgs["autoAdvanceMs"].is_number_integer()
                       ? AArgs["autoAdvanceMs"].get<int>()
                       : 0;
  if (step > 0) ScheduleProgress(result["item"], step);
  return result;
}

json TSimulator::AddItem(const json& AArgs) {
  TOutbox out;
  json result = FWorld.AddItem(AArgs, out);
  Publish(out);
  return result;
}

json TSimulator::MoveAttachment(const json& AArgs) {
  TOutbox out;
  json result = FWorld.MoveAttachment(AArgs, out);
  Publish(out);
  return result;
}

void TSimulator::Reset() {
  FScheduler.CancelAll();
  FFaults.ClearAll();
  FWorld.Reset(SeedTime());
  ScheduleResumes(FWorld.PendingResumes());
  ArmAutoAlerts();
}

void TSimulator::ArmAutoAlerts() {
  if (FOptions.AutoAlertSeconds <= 0) return;
  FScheduler.After(std::chrono::seconds(FOptions.AutoAlertSeconds), [this] {
    if (const auto args = FWorld.NextAutoAlertArgs()) {
      json a = *args;
      a["autoAdvanceMs"] = FOptions.AttachmentStepMs;
      try {
        RaiseAlert(a);
      } catch (const ESimError& e) {
        std::fprintf(stderr, "[sim] automatic alert failed: %s\n", e.what());
      }
    }
    ArmAutoAlerts();
  });
}

json TSimulator::Health() const {
  json h = json::object();
  h["ok"] = true;
  h["broker"] = FOptions.UseBroker;
  h["brokerConnected"] = FBroker.Connected();
  h["subscribed"] = FBroker.Subscribed();
  h["orgEventTopic"] = FWorld.OrgEventTopic();
  json topics = json::array();
  for (const auto& t : FWorld.RequestTopics()) topics.push_back(t);
  h["requestTopics"] = topics;
  return h;
}

}  // namespace ZelSim
