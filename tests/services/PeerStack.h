#pragma once
// The identity emulator and the backend simulator (without broker), started by a test
// program for itself in a fresh folder, with the environment that points our clients at
// them: ZEL_BACKEND_URL, ZEL_CA_FILE, FIREBASE_AUTH_EMULATOR_HOST.

#include <string>

namespace ZEL::Test {

class TPeerStack {
public:
  // Empty text on success, else what failed (the test then skips or fails with it).
  std::string Start();
  void Stop();
  // The program's one stack, started at the first call; null (AError says why) when it
  // could not start.
  static TPeerStack* Shared(std::string& AError);
  ~TPeerStack() { Stop(); }

  std::string BackendURL() const { return "https://127.0.0.1:" + std::to_string(FRestPort); }
  std::string ControlURL() const { return "http://127.0.0.1:" + std::to_string(FControlPort); }
  std::string IdentityHost() const { return "127.0.0.1:" + std::to_string(FIdentityPort); }
  std::string CAFile() const { return FDir + "/pki/ca.crt"; }

  // Control port calls: a POST with a JSON body (or DELETE); the status.
  long Control(const std::string& AMethod, const std::string& APath, const std::string& ABody = "");
  // Drops every account of the identity emulator.
  void DeleteAccounts();

private:
  std::string FDir;
  int FSimPid = 0;
  bool FIdentityStarted = false;
  int FRestPort = 0, FControlPort = 0, FIdentityPort = 0;
};

}  // namespace ZEL::Test
