#include "PeersStack.h"

#include <cstdlib>
#include <fstream>

#include <unistd.h>

namespace ZelPeers {

std::string TStack::Load() {
  if (const char* dir = std::getenv("ZEL_PEERS_DIR"); dir && *dir) {
    FDir = dir;
  } else if (const char* runs = std::getenv("ZEL_PEERS_RUNS"); runs && *runs) {
    FDir = std::string(runs) + "/ctest-" + std::to_string(::getppid());
  } else {
    return "neither ZEL_PEERS_DIR nor ZEL_PEERS_RUNS is set: run this test through CTest "
           "(its fixture starts the stack) or point ZEL_PEERS_DIR at a folder of tests/peers/stack.sh";
  }
  std::ifstream in(FDir + "/stack.env");
  if (!in) return "no stack.env in " + FDir + " (did the fixture peers.stack.setup run?)";
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) FValues[line.substr(0, eq)] = line.substr(eq + 1);
  }
  for (const char* key : {"ZEL_PKI_DIR", "ZEL_CA_FILE", "ZEL_BACKEND_URL", "ZEL_MQTT_BROKER_HOST", "ZEL_MQTT_BROKER_PORT",
                          "FIREBASE_AUTH_EMULATOR_HOST", "ZEL_SIM_CONTROL_URL"})
    if (!FValues.count(key)) return std::string(key) + " missing in " + FDir + "/stack.env";
  return {};
}

}  // namespace ZelPeers
