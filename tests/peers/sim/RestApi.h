#pragma once
// The backend's REST endpoints over HTTPS on a loopback port.

#include <memory>
#include <string>
#include <thread>

namespace httplib {
class SSLServer;
}

namespace ZelSim {

class TSimulator;

class TRestApi {
 public:
  explicit TRestApi(TSimulator& ASim);
  ~TRestApi();
  TRestApi(const TRestApi&) = delete;
  TRestApi& operator=(const TRestApi&) = delete;

  // Binds 127.0.0.1:APort (0 picks a free port) with the certificate and key, and serves on
  // a thread of its own. False with AError when the TLS material or the port is unusable.
  bool Start(const std::string& ACertFile, const std::string& AKeyFile, int APort, std::string& AError);
  int Port() const { return FPort; }
  void Stop();

 private:
  void Routes();

  TSimulator& FSim;
  std::unique_ptr<httplib::SSLServer> FServer;
  std::thread FThread;
  int FPort = 0;
};

}  // namespace ZelSim
