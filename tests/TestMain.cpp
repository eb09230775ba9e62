// The one test entry: a private HOME and runtime folder, then a QApplication on the
// offscreen platform, so no test touches the real user's folders or needs a display.

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>

#include "TestSupport.h"

namespace {

std::string MakePrivateHome() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "zeltest.XXXXXX").string();
  if (!mkdtemp(tmpl.data())) {
    std::perror("mkdtemp");
    std::exit(2);
  }
  const std::filesystem::path home(tmpl);
  for (const char* sub : {"runtime", "data", "config", "cache", "Documents"})
    std::filesystem::create_directories(home / sub);
  chmod((home / "runtime").c_str(), 0700);
  setenv("HOME", tmpl.c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
  setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
  return tmpl;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string home = MakePrivateHome();
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (!std::getenv("TZ")) setenv("TZ", "Europe/Berlin", 1);
  tzset();

  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  const int rc = RUN_ALL_TESTS();

  std::error_code ec;
  std::filesystem::remove_all(home, ec);
  return rc;
}
