#include "PeerStack.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace ZEL::Test {

namespace {

int ReadPort(const std::string& AFile) {
  std::ifstream in(AFile);
  int port = 0;
  in >> port;
  return port;
}

int Shell(const std::string& ACommand) { return std::system(ACommand.c_str()); }

}  // namespace

std::string TPeerStack::Start() {
  const std::string peers = std::string(ZEL_SOURCE_DIR) + "/tests/peers";
  FDir = NewTempFolder("peers");
  if (Shell(peers + "/make-pki.sh '" + FDir + "/pki' > '" + FDir + "/pki.log' 2>&1") != 0) return "make-pki.sh failed";
  if (Shell(peers + "/identity.sh start '" + FDir + "/identity' > '" + FDir + "/identity.out' 2>&1") != 0)
    return "identity.sh failed, see " + FDir + "/identity.out";
  FIdentityStarted = true;
  FIdentityPort = ReadPort(FDir + "/identity/identity.port");

  const std::string sim = ZEL_BACKEND_SIM;
  std::vector<std::string> args = {sim,
                                   "--cert", FDir + "/pki/server.crt",
                                   "--key", FDir + "/pki/server.key",
                                   "--rest-port-file", FDir + "/rest.port",
                                   "--control-port-file", FDir + "/control.port"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string log = FDir + "/sim.log";
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, sim.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return "cannot start " + sim;
  FSimPid = pid;
  for (int i = 0; i < 200 && (FRestPort == 0 || FControlPort == 0); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    FRestPort = ReadPort(FDir + "/rest.port");
    FControlPort = ReadPort(FDir + "/control.port");
  }
  if (FRestPort == 0 || FControlPort == 0) return "the simulator did not start, see " + FDir + "/sim.log";

  setenv("ZEL_BACKEND_URL", BackendURL().c_str(), 1);
  setenv("ZEL_CA_FILE", CAFile().c_str(), 1);
  setenv("FIREBASE_AUTH_EMULATOR_HOST", IdentityHost().c_str(), 1);
  return {};
}

namespace {

// One stack for the whole program: the emulator takes seconds to start. It is stopped when
// the tests end, before the test entry removes the private HOME that holds its folder.
TPeerStack& SharedStack() {
  static TPeerStack stack;
  return stack;
}

class TStopSharedStack : public ::testing::Environment {
public:
  void TearDown() override { SharedStack().Stop(); }
};

[[maybe_unused]] ::testing::Environment* const gStopSharedStack =
    ::testing::AddGlobalTestEnvironment(new TStopSharedStack);

}  // namespace

TPeerStack* TPeerStack::Shared(std::string& AError) {
  TPeerStack& stack = SharedStack();
  static const std::string error = stack.Start();
  AError = error;
  return error.empty() ? &stack : nullptr;
}

void TPeerStack::Stop() {
  if (FSimPid > 0) {
    kill(FSimPid, SIGTERM);
    int status = 0;
    waitpid(FSimPid, &status, 0);
    FSimPid = 0;
  }
  if (FIdentityStarted) {
    Shell(std::string(ZEL_SOURCE_DIR) + "/tests/peers/identity.sh stop '" + FDir + "/identity' > /dev/null 2>&1");
    FIdentityStarted = false;
  }
}

long TPeerStack::Control(const std::string& AMethod, const std::string& APath, const std::string& ABody) {
  const std::string out = FDir + "/control.out";
  const std::string cmd = "curl -s -o /dev/null -w '%{http_code}' -X " + AMethod + " -H 'Content-Type: application/json' " +
                          (AMethod == "POST" ? "--data-binary '" + (ABody.empty() ? std::string() : ABody) + "' " : "") +
                          "'" + ControlURL() + APath + "' > '" + out + "'";
  Shell(cmd);
  long status = 0;
  std::ifstream(out) >> status;
  return status;
}

void TPeerStack::DeleteAccounts() {
  Shell("curl -s -o /dev/null -X DELETE 'http://" + IdentityHost() +
        "/emulator/v1/projects/zeldevstand/accounts'");
}

}  // namespace ZEL::Test
