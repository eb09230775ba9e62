#include "TestSupport.h"

#include <QCoreApplication>
#include <QThread>

#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ZEL::Test {

bool WaitUntil(const std::function<bool()>& APredicate, std::chrono::milliseconds ATimeout) {
  const auto deadline = std::chrono::steady_clock::now() + ATimeout;
  while (!APredicate()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::usleep(200);
  }
  return true;
}

TFileSizeLimit::TFileSizeLimit(unsigned long long ABytes) {
  FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  FOldSoft = limit.rlim_cur;
  limit.rlim_cur = static_cast<rlim_t>(ABytes);
  setrlimit(RLIMIT_FSIZE, &limit);
}

TFileSizeLimit::~TFileSizeLimit() {
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = static_cast<rlim_t>(FOldSoft);
  setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, FOldHandler);
}

TScopedEnv::TScopedEnv(std::string AName, const char* AValue) : FName(std::move(AName)) {
  if (const char* old = std::getenv(FName.c_str())) {
    FHadOld = true;
    FOld = old;
  }
  if (AValue)
    setenv(FName.c_str(), AValue, 1);
  else
    unsetenv(FName.c_str());
  tzset();
}

TScopedEnv::~TScopedEnv() {
  if (FHadOld)
    setenv(FName.c_str(), FOld.c_str(), 1);
  else
    unsetenv(FName.c_str());
  tzset();
}

std::string NewTempFolder(const std::string& APrefix) {
  static std::atomic<int> counter{0};
  const char* home = std::getenv("HOME");
  std::filesystem::path p = std::filesystem::path(home ? home : "/tmp") /
                            (APrefix + "." + std::to_string(++counter));
  std::filesystem::remove_all(p);
  std::filesystem::create_directories(p);
  return p.string();
}

std::string ReadFileBytes(const std::string& APath) {
  std::ifstream in(APath, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace ZEL::Test
