#pragma once
// Ties the simulated service together: the data, the edges' broker connection, the scheduler
// and the fault settings. The REST and control servers call into it from their threads.

#include "Broker.h"
#include "Faults.h"
#include "Scheduler.h"
#include "World.h"

#include <atomic>
#include <optional>
#include <string>

namespace ZelSim {

struct TSimOptions {
  std::string SeedPath;
  std::string ClipPath;               // the bytes served for every ready video (WebM)
  std::optional<TInstant> PinnedNow;  // reference time of the seed's relative dates
  std::string Audience = "zeldevstand";
  int AutoAlertSeconds = 0;           // 0: edges raise alerts only when asked
  int AttachmentStepMs = 1500;        // pace of automatic attachment progress
  bool UseBroker = false;
  TBrokerOptions Broker;
};

class TSimulator {
 public:
  explicit TSimulator(TSimOptions AOptions);

  // Loads the seed and connects the edges. False with AError on a bad seed or broker set-up.
  bool Start(std::string& AError);
  // Marks the stop, so that held-back answers end; Stop then ends the scheduler and broker.
  void RequestStop() { FStopping = true; }
  void Stop();

  TWorld& World() { return FWorld; }
  TFaults& Faults() { return FFaults; }
  const TSimOptions& Options() const { return FOptions; }
  // The clip read at start, served for every ready video.
  const std::string& Clip() const { return FClip; }
  bool Stopping() const { return FStopping; }

  // Control operations: change the data and publish what the edges would publish.
  json RaiseAlert(const json& AArgs);
  json AddItem(const json& AArgs);
  json MoveAttachment(const json& AArgs);
  void Reset();
  json Health() const;

 private:
  TInstant SeedTime() const { return FOptions.PinnedNow.value_or(Now()); }
  void Publish(const TOutbox& AOut);
  void OnRequest(const std::string& ATopic, const std::string& APayload);
  void ProcessRequest(const std::string& ATopic, const std::string& APayload, int AForcedCode);
  void ScheduleResumes(const std::vector<TResume>& AResumes);
  void ScheduleProgress(const json& AItem, int AStepMs);
  void ArmAutoAlerts();

  TSimOptions FOptions;
  std::string FClip;
  TWorld FWorld;
  TFaults FFaults;
  TBroker FBroker;
  TScheduler FScheduler;
  std::atomic<bool> FStopping{false};
};

}  // namespace ZelSim
