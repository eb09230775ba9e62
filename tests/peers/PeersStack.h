// The running stack as the CTest fixture wrote it (stack.env in the run folder).
#pragma once

#include <map>
#include <string>

namespace ZelPeers {

class TStack {
public:
  // Finds the run folder: $ZEL_PEERS_DIR, else $ZEL_PEERS_RUNS/ctest-<pid of the parent>
  // (the fixture keys its folder by the CTest process). Empty text on success, else why not.
  std::string Load();

  // A value of stack.env; throws std::out_of_range when it is missing.
  const std::string& Get(const std::string& AKey) const { return FValues.at(AKey); }
  std::string Pki(const std::string& AFile) const { return Get("ZEL_PKI_DIR") + "/" + AFile; }
  std::string Dir() const { return FDir; }

private:
  std::string FDir;
  std::map<std::string, std::string> FValues;
};

}  // namespace ZelPeers
