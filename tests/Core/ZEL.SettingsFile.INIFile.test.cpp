#include "ZEL.SettingsFile.INIFile.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <vector>
#include <unistd.h>

namespace ZEL {
namespace {

namespace fs = std::filesystem;

void WriteBytes(const std::string& APath, const std::string& ABytes) {
  std::ofstream out(APath, std::ios::binary | std::ios::trunc);
  out << ABytes;
}

class SettingsFileIni : public testing::Test {
protected:
  std::string FFolder = ZEL::Test::NewTempFolder("settings");
  ZEL::Test::TScopedEnv FEnv{"ZEL_SETTINGS_DIR", FFolder.c_str()};
  std::string FPath = FFolder + "/ZELSettings.mem";

  std::string FileBytes() const { return ZEL::Test::ReadFileBytes(FPath); }
};

// A read changes nothing, so it writes nothing: on a full disk a read cannot cost the file.
TEST_F(SettingsFileIni, ReadsWriteNothingAndTheFirstWriteCreatesAPrivateFile) {
  const std::string folder = FFolder + "/made/here";
  const ZEL::Test::TScopedEnv env("ZEL_SETTINGS_DIR", folder.c_str());
  const std::string path = folder + "/ZELSettings.mem";
  auto settings = std::make_shared<TZELSettingsFileIni>();
  EXPECT_EQ(settings->FileName(), path);

  EXPECT_EQ(settings->ReadString("Token", "RefreshToken", "none"), "none");
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(settings->BarrierIsLocked());

  settings->WriteString("Token", "RefreshToken", "secret");
  ASSERT_TRUE(fs::is_regular_file(path));
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::status(FFolder + "/made").permissions() & fs::perms::all, fs::perms::owner_all);

  // An existing file, in a spelling of its own, is left as it is by reads and same-value writes.
  const std::string own = "\xEF\xBB\xBF[token]\r\nrefreshtoken = t\r\n";
  WriteBytes(path, own);
  const auto before = fs::last_write_time(path);
  TZELSettingsFileIni again;
  EXPECT_EQ(again.ReadString("Token", "RefreshToken", ""), "t");
  EXPECT_EQ(again.ReadBool("UserPrefs", "Missing", true), true);
  again.WriteString("Token", "RefreshToken", "t");
  again.BarrierUnlock();
  EXPECT_EQ(ZEL::Test::ReadFileBytes(path), own);
  EXPECT_EQ(fs::last_write_time(path), before);
}

TEST_F(SettingsFileIni, StoredTextsReadAsEachType) {
  struct TRow {
    const char* Stored;
    std::int32_t Int;   // ReadInteger, default 7
    std::int64_t Int64; // ReadInt64, default 7
    bool BoolDefTrue;   // ReadBool, default true
    bool BoolDefFalse;  // ReadBool, default false
  };
  constexpr auto i64max = std::numeric_limits<std::int64_t>::max();
  constexpr auto i64min = std::numeric_limits<std::int64_t>::min();
  const TRow rows[] = {
      {"42", 42, 42, true, true},
      {"-17", -17, -17, true, true},
      {"+5", 5, 5, true, true},
      {"0", 0, 0, false, false},
      {"0x1A", 26, 26, true, true},
      {"0X1a", 26, 26, true, true},
      {"0x0", 0, 0, false, false},
      {"0x", 7, 7, true, false},
      {"abc", 7, 7, true, false},
      {"true", 7, 7, true, false},
      {"1.5", 7, 7, true, false},
      {"", 7, 7, true, false},
      {"2147483647", 2147483647, 2147483647, true, true},
      {"-2147483648", std::numeric_limits<std::int32_t>::min(), -2147483648LL, true, true},
      {"2147483648", 7, 2147483648LL, true, false},
      {"0xFFFFFFFF", -1, 4294967295LL, true, true},
      {"9223372036854775807", 7, i64max, true, false},
      {"-9223372036854775808", 7, i64min, true, false},
      {"9223372036854775808", 7, 7, true, false},
      {"-9223372036854775809", 7, 7, true, false},
      {"0x7FFFFFFFFFFFFFFF", 7, i64max, true, false},
      {"0xFFFFFFFFFFFFFFFF", 7, -1, true, false},
      {"0x10000000000000000", 7, 7, true, false},
  };
  std::string text = "[V]\n";
  for (std::size_t i = 0; i < std::size(rows); ++i)
    text += "k" + std::to_string(i) + "=" + rows[i].Stored + "\n";
  WriteBytes(FPath, text);

  TZELSettingsFileIni settings;
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const std::string key = "k" + std::to_string(i);
    SCOPED_TRACE(std::string("stored \"") + rows[i].Stored + "\"");
    EXPECT_EQ(settings.ReadString("V", key, "dflt"), rows[i].Stored);
    EXPECT_EQ(settings.ReadInteger("V", key, 7), rows[i].Int);
    EXPECT_EQ(settings.ReadInt64("V", key, 7), rows[i].Int64);
    EXPECT_EQ(settings.ReadBool("V", key, true), rows[i].BoolDefTrue);
    EXPECT_EQ(settings.ReadBool("V", key, false), rows[i].BoolDefFalse);
  }
  // A missing key gives every default; an empty stored text is a text, not a missing key.
  EXPECT_EQ(settings.ReadString("V", "missing", "dflt"), "dflt");
  EXPECT_EQ(settings.ReadString("Nowhere", "k0", "dflt"), "dflt");
  EXPECT_EQ(settings.ReadInteger("V", "missing", -3), -3);
  EXPECT_EQ(settings.ReadInt64("V", "missing", i64min), i64min);
  EXPECT_TRUE(settings.ReadBool("V", "missing", true));
  EXPECT_EQ(settings.ReadDouble("V", "missing", 2.25), 2.25);
}

TEST_F(SettingsFileIni, RealsUseTheCLocaleAndReadBackExactly) {
  WriteBytes(FPath, "[R]\na=1.5\nb=-2.5e3\nc=1,5\nd=abc\ne=\nf= 0.25 \n");
  TZELSettingsFileIni settings;
  EXPECT_EQ(settings.ReadDouble("R", "a", 9), 1.5);
  EXPECT_EQ(settings.ReadDouble("R", "b", 9), -2500.0);
  EXPECT_EQ(settings.ReadDouble("R", "c", 9), 9);
  EXPECT_EQ(settings.ReadDouble("R", "d", 9), 9);
  EXPECT_EQ(settings.ReadDouble("R", "e", 9), 9);
  EXPECT_EQ(settings.ReadDouble("R", "f", 9), 0.25);

  for (const double v : {0.1, -1e300, 123456789.123, 5e-324}) {
    settings.WriteDouble("R", "w", v);
    EXPECT_EQ(settings.ReadDouble("R", "w", 9), v);
  }
  settings.WriteDouble("R", "w", 0.1);
  EXPECT_EQ(settings.ReadString("R", "w", ""), "0.1");
}

TEST_F(SettingsFileIni, WritesStoreTheirTextsAndTwoSectionsGiveExactBytes) {
  TZELSettingsFileIni settings;
  settings.WriteString("Token", "RefreshToken", "r1");
  settings.WriteBool("UserPrefs", "UserEscalatedSubscribe", false);
  settings.WriteBool("UserPrefs", "UserNonEscalatedSubscribe", true);
  settings.WriteString("Token", "Second", "");
  settings.WriteString("Token", "RefreshToken", "r2");  // keeps its place
  EXPECT_EQ(FileBytes(),
            "[Token]\nRefreshToken=r2\nSecond=\n\n"
            "[UserPrefs]\nUserEscalatedSubscribe=0\nUserNonEscalatedSubscribe=1\n\n");

  settings.WriteInteger("N", "i", std::numeric_limits<std::int32_t>::min());
  settings.WriteInt64("N", "j", std::numeric_limits<std::int64_t>::min());
  settings.WriteInt64("N", "k", std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(settings.ReadString("N", "i", ""), "-2147483648");
  EXPECT_EQ(settings.ReadString("N", "j", ""), "-9223372036854775808");
  EXPECT_EQ(settings.ReadInt64("N", "k", 0), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(settings.ReadInteger("UserPrefs", "UserNonEscalatedSubscribe", 5), 1);

  // A new object reads what the first one wrote.
  TZELSettingsFileIni again;
  EXPECT_EQ(again.ReadString("Token", "RefreshToken", ""), "r2");
  EXPECT_TRUE(again.ReadBool("UserPrefs", "UserNonEscalatedSubscribe", false));
}

TEST_F(SettingsFileIni, NamesMatchWithoutRegardToCase) {
  WriteBytes(FPath, "[Token]\nRefreshToken=abc\n");
  TZELSettingsFileIni settings;
  EXPECT_EQ(settings.ReadString("TOKEN", "refreshtoken", ""), "abc");
  settings.WriteString("token", "REFRESHTOKEN", "xyz");
  settings.WriteString("TOKEN", "Other", "1");
  EXPECT_EQ(FileBytes(), "[Token]\nRefreshToken=xyz\nOther=1\n\n");
}

TEST_F(SettingsFileIni, ReadingToleratesBomLineEndsBlanksAndComments) {
  struct TRow {
    const char* Name;
    std::string Bytes;
  };
  const TRow rows[] = {
      {"UTF-8 BOM, CR LF, blanks, comments",
       "\xEF\xBB\xBF; written by hand\r\nstray=line\r\n[ Token ]\r\n  RefreshToken  =  tok  \r\n"
       "# note\r\nno equals sign\r\n\r\n[UserPrefs]\r\nUserEscalatedSubscribe=1\r\n"},
      {"LF, no final line end, duplicate section and key",
       "[Token]\nRefreshToken=tok\nrefreshtoken=ignored\n[UserPrefs]\n[token]\n"
       "[userprefs]\nUserEscalatedSubscribe = 1"},
      {"UTF-16 LE with BOM",
       std::string("\xFF\xFE", 2) + [] {
         std::string s;
         for (char c : std::string("[Token]\r\nRefreshToken=tok\r\n[UserPrefs]\r\nUserEscalatedSubscribe=1\r\n")) {
           s += c;
           s += '\0';
         }
         return s;
       }()},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    WriteBytes(FPath, row.Bytes);
    TZELSettingsFileIni settings;
    EXPECT_EQ(settings.ReadString("Token", "RefreshToken", ""), "tok");
    EXPECT_TRUE(settings.ReadBool("UserPrefs", "UserEscalatedSubscribe", false));
    // Reads leave the file as it is; the first change writes it in our own form.
    EXPECT_EQ(FileBytes(), row.Bytes);
    settings.WriteString("Token", "RefreshToken", "tok2");
    EXPECT_EQ(FileBytes(), "[Token]\nRefreshToken=tok2\n\n[UserPrefs]\nUserEscalatedSubscribe=1\n\n");
  }
}

TEST_F(SettingsFileIni, SecondLockIsRefusedAtOnceAndChangesNothing) {
  std::shared_ptr<IZELSettingsFile> settings = std::make_shared<TZELSettingsFileIni>();
  settings->WriteString("Token", "RefreshToken", "kept");
  settings->BarrierLock();
  EXPECT_TRUE(settings->BarrierIsLocked());
  try {
    settings->BarrierLock();
    FAIL() << "second lock accepted";
  } catch (const ELockException& E) {
    EXPECT_STREQ(E.what(), "Object (TZELSettingsFileIni) is locked already.");
    EXPECT_STREQ(E.className(), "ELockException");
  }
  // Every operation is refused the same way while the barrier is held, before any change.
  EXPECT_THROW(settings->WriteString("Token", "RefreshToken", "lost"), ELockException);
  EXPECT_THROW(settings->ReadBool("UserPrefs", "X", false), ELockException);
  EXPECT_TRUE(settings->BarrierIsLocked());
  EXPECT_EQ(FileBytes(), "[Token]\nRefreshToken=kept\n\n");

  settings->BarrierUnlock();
  EXPECT_FALSE(settings->BarrierIsLocked());
  EXPECT_EQ(settings->ReadString("Token", "RefreshToken", ""), "kept");
}

TEST_F(SettingsFileIni, UnlockWithoutLockWritesAPendingChange) {
  WriteBytes(FPath, "[Token]\r\nRefreshToken=t\r\n");
  TZELSettingsFileIni settings;
  settings.BarrierUnlock();
  EXPECT_FALSE(settings.BarrierIsLocked());
  EXPECT_EQ(FileBytes(), "[Token]\r\nRefreshToken=t\r\n");

  // A change whose write failed is written by the next unlock.
  fs::remove(FPath);
  fs::create_directory(FPath);
  EXPECT_THROW(settings.WriteString("Token", "RefreshToken", "t2"), EFCreateError);
  fs::remove(FPath);
  settings.BarrierUnlock();
  EXPECT_EQ(FileBytes(), "[Token]\nRefreshToken=t2\n\n");
}

// The write fails in two ways that root cannot bypass: the file's path is a folder, or the
// settings folder lies under a regular file. The error reaches the caller, and the barrier
// is free for the next access.
TEST_F(SettingsFileIni, FailedWriteReachesTheCallerAndReleasesTheBarrier) {
  {
    SCOPED_TRACE("file path is a folder");
    TZELSettingsFileIni settings;
    fs::create_directory(FPath);
    EXPECT_THROW(settings.WriteString("Token", "RefreshToken", "t1"), EFCreateError);
    EXPECT_FALSE(settings.BarrierIsLocked());
    EXPECT_THROW(settings.ReadString("Token", "RefreshToken", ""), EFCreateError);
    fs::remove(FPath);
    EXPECT_EQ(settings.ReadString("Token", "RefreshToken", ""), "t1");
    EXPECT_EQ(FileBytes(), "[Token]\nRefreshToken=t1\n\n");
  }
  {
    SCOPED_TRACE("folder under a regular file");
    const std::string blocker = FFolder + "/blocker";
    WriteBytes(blocker, "x");
    const ZEL::Test::TScopedEnv env("ZEL_SETTINGS_DIR", (blocker + "/sub").c_str());
    TZELSettingsFileIni settings;
    try {
      settings.WriteBool("UserPrefs", "UserEscalatedSubscribe", true);
      FAIL() << "write under a regular file succeeded";
    } catch (const EFCreateError& E) {
      EXPECT_NE(std::string(E.what()).find("ZELSettings.mem"), std::string::npos) << E.what();
    }
    EXPECT_FALSE(settings.BarrierIsLocked());
    EXPECT_THROW(settings.WriteBool("UserPrefs", "UserEscalatedSubscribe", true), EFCreateError);
    EXPECT_EQ(ZEL::Test::ReadFileBytes(blocker), "x");
  }
}

// A full disk, made real by a file size limit in a child process: the writes of the new file
// fail (EFBIG), short or at the flush. The old file stays whole, the caller gets the error,
// no temporary file is left, and reads in the full state write nothing.
TEST_F(SettingsFileIni, FullDiskKeepsTheOldFileAndReportsTheError) {
  const std::string oldBytes = "[Token]\nRefreshToken=saved-token\n\n";
  struct TCase {
    const char* Name;
    std::size_t NewSize;
  };
  for (const TCase& c : {TCase{"small change, held in a buffer", 100}, TCase{"large change", 200000}}) {
    SCOPED_TRACE(c.Name);
    WriteBytes(FPath, oldBytes);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int code = 0;
      try {
        TZELSettingsFileIni settings;
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{40, 40};
        setrlimit(RLIMIT_FSIZE, &limit);
        if (settings.ReadString("Token", "RefreshToken", "") != "saved-token") code |= 1;
        try {
          settings.WriteString("Token", "RefreshToken", std::string(c.NewSize, 'n'));
          code |= 2;  // reported as success
        } catch (const EFCreateError&) {
        }
        // Still full: the pending change fails again, but only a change is ever written.
        try {
          settings.ReadString("Token", "RefreshToken", "");
          code |= 4;
        } catch (const EFCreateError&) {
        }
      } catch (...) {
        code |= 8;
      }
      _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1 wrong read, 2 success reported, 4 read wrote, 8 other error";
    EXPECT_EQ(FileBytes(), oldBytes);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(FFolder)) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"ZELSettings.mem"});
  }
}

TEST_F(SettingsFileIni, CrashDuringTheWriteLeavesTheOldFileWhole) {
  const std::string oldBytes = "[Token]\nRefreshToken=saved-token\n\n";
  WriteBytes(FPath, oldBytes);
  const std::string newBytes = "[Token]\nRefreshToken=" + std::string(64 * 1024, 'n') + "\n\n";

  // The child process dies with half of the new content written, as a crash would.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    try {
      MemIniFile::WriteFileAtomically(FPath, newBytes, [] { _exit(0); });
    } catch (...) {
    }
    _exit(3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0) << "the child did not reach the middle of the write";

  EXPECT_EQ(FileBytes(), oldBytes);
  TZELSettingsFileIni settings;
  EXPECT_EQ(settings.ReadString("Token", "RefreshToken", ""), "saved-token");

  // Without the crash the same call replaces the content whole.
  MemIniFile::WriteFileAtomically(FPath, newBytes);
  EXPECT_EQ(FileBytes(), newBytes);
}

}  // namespace
}  // namespace ZEL
