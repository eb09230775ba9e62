#pragma once
// The control port (plain HTTP on loopback) through which tests and the demo drive the
// simulated service: raise alerts, add items, move attachments, drop or delay answers, make
// endpoints fail, reset the seed.

#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace ZelSim {

class TSimulator;

class TControlApi {
 public:
  explicit TControlApi(TSimulator& ASim);
  ~TControlApi();
  TControlApi(const TControlApi&) = delete;
  TControlApi& operator=(const TControlApi&) = delete;

  bool Start(int APort, std::string& AError);
  int Port() const { return FPort; }
  void Stop();

 private:
  void Routes();

  TSimulator& FSim;
  std::unique_ptr<httplib::Server> FServer;
  std::thread FThread;
  int FPort = 0;
};

}  // namespace ZelSim
