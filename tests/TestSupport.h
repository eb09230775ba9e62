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

// A disk that takes no more than ABytes a file, for the life of the object: a write past it
// fails (EFBIG) as on a full disk, instead of ending the process. It holds for every file of
// the process, its log files too (their lines then go to standard error), and for the
// processes it starts meanwhile.
class TFileSizeLimit {
public:
  explicit TFileSizeLimit(unsigned long long ABytes);
  ~TFileSizeLimit();
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
  unsigned long long FOldSoft = 0;
  void (*FOldHandler)(int) = nullptr;
};

// A fresh empty folder under the test's private HOME.
std::string NewTempFolder(const std::string& APrefix = "t");

// The whole file as bytes ("" when it cannot be read).
std::string ReadFileBytes(const std::string& APath);

// The path of a fixture file of tests/Core/data. Not found through __FILE__: a compiler
// cache with a base folder (CCACHE_BASEDIR) makes that relative to the build folder, which
// is not the folder the tests run in.
inline std::string FixturePath(const std::string& AName) {
#if defined(ZEL_SOURCE_DIR)
  return std::string(ZEL_SOURCE_DIR) + "/tests/Core/data/" + AName;
#elif defined(ZEL_FUZZ_DATA_DIR)
  return std::string(ZEL_FUZZ_DATA_DIR) + "/" + AName;
#else
  return std::string(__FILE__).substr(0, std::string(__FILE__).rfind('/') + 1) + "Core/data/" + AName;
#endif
}

}  // namespace ZEL::Test
