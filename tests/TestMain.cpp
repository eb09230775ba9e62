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

#if defined(__SANITIZE_THREAD__)
// Qt's own libraries are not built with ThreadSanitizer, so it cannot see their
// synchronisation (their mutexes and atomics); races reported inside them are not ours.
// Qt Multimedia starts PulseAudio's own thread when it lists the devices: likewise.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core.so.6\n"
         "race:libQt6Gui.so.6\n"
         "race:libQt6Widgets.so.6\n"
         "race:libQt6Multimedia.so.6\n"
         "race:libpulsecommon\n"
         "race:libpulse.so.0\n";
}
extern "C" const char* __tsan_default_options() {
  return "halt_on_error=1 second_deadlock_stack=1";
}
#endif

#if defined(__SANITIZE_ADDRESS__)
// Qt, fontconfig and the GPU and sound libraries keep allocations until the process ends;
// the leak check would report theirs at every exit, so it is off here (the fuzz target
// runs it on the model). Qt WebEngine's Chromium frees some objects through a base of
// another size, which no suppression can name; -Wall's delete-non-virtual-dtor warns of
// ours. Any other report ends the test program.
extern "C" const char* __asan_default_options() {
  return "detect_leaks=0 new_delete_type_mismatch=0 halt_on_error=1 detect_stack_use_after_return=1 "
         "strict_init_order=1 check_initialization_order=1";
}
extern "C" const char* __ubsan_default_options() {
  return "halt_on_error=1 print_stacktrace=1";
}
#endif

int main(int argc, char** argv) {
  const std::string home = MakePrivateHome();
  // The same surroundings for every test, whoever starts it.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("TZ", "Europe/Berlin", 1);
  setenv("LC_ALL", "C.UTF-8", 1);
  tzset();
#if defined(__SANITIZE_ADDRESS__)
  // The simulator and the second client that some tests start are built with the sanitizers too.
  setenv("ASAN_OPTIONS", "detect_leaks=0 new_delete_type_mismatch=0", 0);
#endif

  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  const int rc = RUN_ALL_TESTS();

  std::error_code ec;
  std::filesystem::remove_all(home, ec);
  return rc;
}
