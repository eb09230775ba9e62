#pragma once
// Small helpers shared by the tests.

#include <chrono>
#include <functional>
#include <string>

namespace ZEL::Test {

// Runs the UI thread's event loop until APredicate holds or the time is up; returns
// whether it held. Tests on the UI thread use it to wait for work handed to it.
bool WaitUntil(const std::function<bool()>& APredicate,
               std::chrono::milliseconds ATimeout = std::chrono::seconds(10));

// Sets an environment variable for the life of the object, restoring the old value.
class TScopedEnv {
public:
  TScopedEnv(std::string AName, const char* AValue);
  ~TScopedEnv();
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
  std::string FName;
  bool FHadOld = false;
  std::string FOld;
};

// A fresh empty folder under the test's private HOME.
std::string NewTempFolder(const std::string& APrefix = "t");

// The whole file as bytes ("" when it cannot be read).
std::string ReadFileBytes(const std::string& APath);

}  // namespace ZEL::Test
