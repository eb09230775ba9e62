// The lock of the settings folder: what a crash or a power loss leaves behind is taken over,
// a running client's lock is not; the folders made for it are the user's alone.

#include "TestSupport.h"
#include "ZEL.App.Instance.h"

#include <QLockFile>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <sys/stat.h>

namespace ZEL {
namespace {

namespace ZT = ZEL::Test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

void WriteLock(const std::string& AContents, bool ATwoDaysOld) {
  const std::string LPath = App::Instance::LockFilePath();
  std::ofstream(LPath, std::ios::binary) << AContents;
  if (ATwoDaysOld) fs::last_write_time(LPath, fs::file_time_type::clock::now() - 48h);
}

TEST(InstanceLock, ALockNamingNoOwnerIsTakenOverOnceOldButALiveClientsLockIsNot) {
  const ZT::TScopedEnv LSettings("ZEL_SETTINGS_DIR", ZT::NewTempFolder("lock").c_str());
  const std::string LPath = App::Instance::LockFilePath();
  struct TCase {
    const char* Name;
    std::string Contents;
    bool TwoDaysOld;
    bool TakenOver;
  };
  const TCase LCases[] = {
      {"empty, left by a crash between making and writing it", "", true, true},
      {"garbage, left by a power loss", std::string("\x01\xfe\x00zz\nnot a lock\n", 17), true, true},
      {"empty and just made: a starting client may be writing it", "", false, false},
  };
  for (const TCase& LCase : LCases) {
    SCOPED_TRACE(LCase.Name);
    WriteLock(LCase.Contents, LCase.TwoDaysOld);
    std::unique_ptr<QLockFile> LLock = App::Instance::TakeLock();
    ASSERT_EQ(LLock != nullptr, LCase.TakenOver);
    if (LLock) {
      EXPECT_TRUE(LLock->isLocked());
      qint64 LPid = 0;
      EXPECT_TRUE(LLock->getLockInfo(&LPid, nullptr, nullptr));
      EXPECT_GT(LPid, 0);
    } else {
      EXPECT_EQ(ZT::ReadFileBytes(LPath), LCase.Contents) << "the lock was touched";
    }
    LLock.reset();
    fs::remove(LPath);
  }

  // A running client's lock refuses, however long that client has run.
  const std::unique_ptr<QLockFile> LHeld = App::Instance::TakeLock();
  ASSERT_NE(LHeld, nullptr);
  ASSERT_TRUE(LHeld->isLocked());
  fs::last_write_time(LPath, fs::file_time_type::clock::now() - 48h);
  EXPECT_EQ(App::Instance::TakeLock(), nullptr);
  EXPECT_TRUE(LHeld->isLocked());
}

TEST(InstanceLock, TheFoldersMadeForTheLockAreTheUsersAlone) {
  const std::string LBase = ZT::NewTempFolder("lockdirs");
  const std::string LFolder = LBase + "/made/settings";
  const ZT::TScopedEnv LSettings("ZEL_SETTINGS_DIR", LFolder.c_str());
  // The usual mask, under which a folder made without a mode of its own is 0755.
  const mode_t LOldMask = ::umask(022);
  const std::unique_ptr<QLockFile> LLock = App::Instance::TakeLock();
  ::umask(LOldMask);
  ASSERT_NE(LLock, nullptr);
  EXPECT_TRUE(LLock->isLocked());
  for (const std::string& LMade : {LBase + "/made", LFolder})
    EXPECT_EQ(fs::status(LMade).permissions() & fs::perms::all, fs::perms::owner_all) << LMade;
}

}  // namespace
}  // namespace ZEL
