#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <regex>
#include <string>

#include <spdlog/logger.h>

#include "TestSupport.h"
#include "ZEL.LogsPipe.FileSink.h"
#include "ZEL.LogsPipe.TestFiles.h"

using namespace std::chrono;

namespace {

std::string Hex(std::string_view ABytes) {
  std::string out;
  for (unsigned char c : ABytes) out += fmt::format("{}{:02X}", out.empty() ? "" : " ", c);
  return out;
}

// An entry with a fixed time and thread, so its line has a known length.
ZEL::TLogItem Entry(std::string_view AMessage) {
  ZEL::TLogItem item;
  item.LogType = ZEL::TLogType::Info;
  item.Tag = "T";
  item.Message = AMessage;
  item.TimeStamp = system_clock::time_point(sys_days(2024y / 3 / 5)) + 9h;
  item.ThreadID = 7;
  return item;
}

// Bytes one ASCII entry takes in the file: its line and CR LF, two bytes a character.
std::int64_t BytesOf(std::string_view AMessage) {
  return static_cast<std::int64_t>(ZEL::TPlatformLog::FormatLogItem(Entry(AMessage), true).size() + 2) * 2;
}

const std::regex cRotate(R"(#\[ROTATE LOG \d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}\])");
const std::regex cStart(R"(#\[START LOG \d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}\])");

class FileSink : public ::testing::Test {
protected:
  std::string FFolder = ZEL::Test::NewTempFolder("sink");
  std::string Name(int N) const { return fmt::format("{}/Mod.{:02}..txt", FFolder, N); }
  bool Exists(int N) const { return std::filesystem::exists(Name(N)); }
};

}  // namespace

TEST(FileSinkText, Utf8BecomesUtf16LittleEndian) {
  const struct {
    const char* Utf8;
    const char* Bytes;
  } cases[] = {
      {"A", "41 00"},
      {"\xC3\xA9", "E9 00"},                   // é
      {"\xE2\x82\xAC", "AC 20"},               // €
      {"\xF0\x9F\x98\x80", "3D D8 00 DE"},     // an emoji: a surrogate pair
      {"a\xFF" "b", "61 00 FD FF 62 00"},      // a byte that starts nothing
      {"\xC0\xAF", "FD FF"},                   // overlong
      {"\xED\xA0\x80", "FD FF"},               // a lone surrogate
      {"\xE2\x82" "A", "FD FF 41 00"},         // cut short, then text again
      {"\xE2\x82", "FD FF"},                   // cut short at the end
  };
  for (const auto& c : cases) {
    std::string out;
    ZEL::LogsPipe::AppendUtf16LE(out, c.Utf8);
    EXPECT_EQ(Hex(out), c.Bytes) << Hex(c.Utf8);
  }
}

TEST_F(FileSink, UnderASpdlogLoggerTheLoggersNameIsTheTagAndFlushWrites) {
  auto sink = std::make_shared<ZEL::TZELRollingFileSink>(FFolder, "Mod", 4000 * 1024, 30);
  spdlog::logger logger("MQTTService", sink);
  logger.set_level(spdlog::level::debug);
  logger.warn("Connected to {}.", "broker");
  logger.debug("second");
  EXPECT_TRUE(ZEL::Test::LogFileLines(Name(0)).empty()) << "gathered until a flush";
  logger.flush();
  const auto lines = ZEL::Test::LogFileLines(Name(0));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[0].ends_with("] [WARNING] [MQTTService] Connected to broker.")) << lines[0];
  EXPECT_TRUE(lines[1].ends_with("] [DEBUG] [MQTTService] second")) << lines[1];
}

TEST_F(FileSink, RestartContinuesFile00WithOneByteOrderMark) {
  ZEL::Test::TScopedEnv tz("TZ", "Europe/Berlin");
  {
    ZEL::TZELRollingFileSink sink(FFolder, "Mod", 4000 * 1024, 30);
    EXPECT_EQ(sink.FileName(0), Name(0));
    sink.WriteItem(Entry("one \xE2\x82\xAC"));
    sink.WriteItem(Entry("two"));
  }
  ZEL::TZELRollingFileSink again(FFolder, "Mod", 4000 * 1024, 30);
  again.WriteItem(Entry("three"));

  const std::string bytes = ZEL::Test::ReadFileBytes(Name(0));
  ASSERT_EQ(Hex(bytes.substr(0, 2)), "FF FE");
  EXPECT_EQ(bytes.find("\xFF\xFE", 2), std::string::npos) << "no second BOM on restart";
  EXPECT_EQ(Hex(bytes.substr(bytes.size() - 4)), "0D 00 0A 00");
  const auto lines = ZEL::Test::LogFileLines(Name(0));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "2024-03-05T10:00:00.000+01:00 [TID 7] [INFO] [T] one \xE2\x82\xAC");
  EXPECT_EQ(lines[2], "2024-03-05T10:00:00.000+01:00 [TID 7] [INFO] [T] three");
  EXPECT_FALSE(Exists(1)) << "a restart is no rotation";
}

TEST_F(FileSink, RotatesOnlyBeyondTheMaximumWithBothMarkers) {
  // Room for the new file's BOM, start marker and one short entry.
  const std::string longer(60, 'x');
  const std::int64_t oneEntry = 2 + BytesOf(longer);  // BOM and one line
  {
    ZEL::TZELRollingFileSink sink(FFolder, "Mod", oneEntry, 30);
    sink.WriteItem(Entry(longer));
    EXPECT_FALSE(Exists(1)) << "exactly the maximum is not beyond it";
    sink.WriteItem(Entry("x"));
    ASSERT_TRUE(Exists(1));
    sink.WriteItem(Entry("after"));
  }
  const auto old = ZEL::Test::LogFileLines(Name(1));
  ASSERT_EQ(old.size(), 3u);
  EXPECT_TRUE(std::regex_match(old[2], cRotate)) << old[2];
  const auto current = ZEL::Test::LogFileLines(Name(0));
  ASSERT_EQ(current.size(), 2u);
  EXPECT_TRUE(std::regex_match(current[0], cStart)) << current[0];
  EXPECT_NE(current[1].find("[T] after"), std::string::npos);
  EXPECT_EQ(Hex(ZEL::Test::ReadFileBytes(Name(0)).substr(0, 2)), "FF FE") << "a new file gets its BOM";
}

TEST_F(FileSink, KeepsTheNewestFilesUpToTheLimit) {
  const struct {
    int MaxFiles, Entries;
  } cases[] = {{30, 40}, {3, 10}};
  for (const auto& c : cases) {
    FFolder = ZEL::Test::NewTempFolder("sinklimit");
    {
      // Every entry is beyond the maximum on its own, so each one rotates.
      ZEL::TZELRollingFileSink sink(FFolder, "Mod", 10, c.MaxFiles);
      for (int i = 0; i < c.Entries; ++i) sink.WriteItem(Entry(fmt::format("entry {}", i)));
    }
    for (int n = 0; n < c.MaxFiles; ++n) EXPECT_TRUE(Exists(n)) << n;
    EXPECT_FALSE(Exists(c.MaxFiles));
    EXPECT_EQ(static_cast<int>(std::distance(std::filesystem::directory_iterator(FFolder),
                                             std::filesystem::directory_iterator())),
              c.MaxFiles);
    // File 00 holds only its start marker; file n the entry made n rotations ago.
    EXPECT_EQ(ZEL::Test::LogFileLines(Name(0)).size(), 1u);
    for (int n = 1; n < c.MaxFiles; ++n) {
      const auto lines = ZEL::Test::LogFileLines(Name(n));
      ASSERT_EQ(lines.size(), 3u) << n;
      EXPECT_TRUE(std::regex_match(lines[0], cStart));
      EXPECT_TRUE(lines[1].ends_with(fmt::format("[T] entry {}", c.Entries - n))) << lines[1];
      EXPECT_TRUE(std::regex_match(lines[2], cRotate));
    }
  }
}

TEST_F(FileSink, FileThatCannotBeWrittenSendsLinesToStandardError) {
  // A full disk: file 00 is a link to /dev/full, so the first write fails.
  std::filesystem::create_symlink("/dev/full", Name(0));
  testing::internal::CaptureStderr();
  ZEL::TZELRollingFileSink sink(FFolder, "Mod", 4000 * 1024, 30);
  sink.WriteItem(Entry("kept"));
  sink.WriteItem(Entry("kept too"));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(sink.WritesToFile());
  const std::string why = "ZELLog: cannot write the log file \"" + Name(0) +
                          "\" (No space left on device); log entries go to standard error.\n";
  ASSERT_EQ(err.find(why), 0u) << err;
  EXPECT_EQ(err.find("ZELLog:", 1), std::string::npos) << "said once";
  EXPECT_NE(err.find("[INFO] [T] kept\n"), std::string::npos) << err;
  EXPECT_NE(err.find("[INFO] [T] kept too\n"), std::string::npos) << err;
}

namespace {

// The disk fills (file 00 is a link to /dev/full) and frees again (the link goes): after the
// retry interval the next line goes to the file again, behind a marker that says so.
TEST_F(FileSink, ReturnsToTheFileAfterAFailedWrite) {
  std::filesystem::create_symlink("/dev/full", Name(0));
  testing::internal::CaptureStderr();
  ZEL::TZELRollingFileSink sink(FFolder, "Mod", 4000 * 1024, 30, milliseconds(200));
  sink.WriteItem(Entry("lost to stderr"));
  EXPECT_FALSE(sink.WritesToFile());
  sink.WriteItem(Entry("still on stderr"));  // before the interval: no new attempt
  std::this_thread::sleep_for(milliseconds(250));
  sink.WriteItem(Entry("the disk is still full"));  // the attempt fails quietly
  EXPECT_FALSE(sink.WritesToFile());
  std::filesystem::remove(Name(0));
  sink.WriteItem(Entry("not yet"));
  EXPECT_FALSE(std::filesystem::exists(Name(0)));
  std::this_thread::sleep_for(milliseconds(250));
  sink.WriteItem(Entry("back in the file"));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(sink.WritesToFile());

  const auto lines = ZEL::Test::LogFileLines(Name(0));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(#\[RESUME LOG \d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}\])"))) << lines[0];
  EXPECT_NE(lines[1].find("[T] back in the file"), std::string::npos) << lines[1];
  EXPECT_EQ(err.find("ZELLog: cannot"), 0u) << err;
  EXPECT_EQ(err.find("ZELLog: cannot", 1), std::string::npos) << "a failed retry is not told again: " << err;
  EXPECT_NE(err.find("ZELLog: the log file \"" + Name(0) + "\" is written again."), std::string::npos) << err;
  EXPECT_NE(err.find("[T] the disk is still full"), std::string::npos) << err;
  EXPECT_EQ(err.find("back in the file"), std::string::npos) << err;
}

// A write the disk cuts short mid-line (a file size limit, as a quota would): the torn part
// goes from the file, the line is told whole on standard error, and the marker of the
// return starts a line of its own.
TEST_F(FileSink, ATornLineIsTakenBackAndTheResumeMarkerStartsItsOwnLine) {
  testing::internal::CaptureStderr();
  ZEL::TZELRollingFileSink sink(FFolder, "Mod", 4000 * 1024, 30, milliseconds(200));
  // Long enough that the limit below stays above what standard error (captured to a file,
  // under the same limit) receives.
  sink.WriteItem(Entry("first " + std::string(3000, 'x')));
  const auto whole = static_cast<rlim_t>(std::filesystem::file_size(Name(0)));
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  rlimit cut = before;
  cut.rlim_cur = whole + 21;  // an odd count: the cut also splits a character
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &cut), 0);
  sink.WriteItem(Entry("second, cut short"));
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(sink.WritesToFile());
  EXPECT_EQ(std::filesystem::file_size(Name(0)), whole);
  std::this_thread::sleep_for(milliseconds(250));
  sink.WriteItem(Entry("back in the file"));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(sink.WritesToFile());

  const auto lines = ZEL::Test::LogFileLines(Name(0));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("[T] first"), std::string::npos) << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(#\[RESUME LOG \d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}\])"))) << lines[1];
  EXPECT_NE(lines[2].find("[T] back in the file"), std::string::npos) << lines[2];
  EXPECT_NE(err.find("[T] second, cut short\n"), std::string::npos) << err;
}

// A file another writer left with a torn last line: the next line still starts its own.
TEST_F(FileSink, AFileEndingInATornLineGetsALineBreakFirst) {
  {
    std::ofstream out(Name(0), std::ios::binary);
    out.write("\xFF\xFE" "a\0b\0c", 7);  // BOM, "ab", half of "c"
  }
  ZEL::TZELRollingFileSink sink(FFolder, "Mod", 4000 * 1024, 30);
  sink.WriteItem(Entry("next"));
  EXPECT_EQ(std::filesystem::file_size(Name(0)) % 2, 0u);
  const auto lines = ZEL::Test::LogFileLines(Name(0));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("ab", 0), 0u);
  EXPECT_NE(lines[1].find("[T] next"), std::string::npos) << lines[1];
}

// A control character in a message (a NUL in a broker payload) is written as "\xNN": raw,
// it would end the line for most readers. Tab and the line breaks of a message stay.
TEST_F(FileSink, ControlCharactersAreEscaped) {
  const struct {
    std::string Message, Written;
  } cases[] = {
      {std::string("nul\0here", 8), "nul\\x00here"},
      {"bell\a esc\x1B del\x7F", "bell\\x07 esc\\x1B del\\x7F"},
      {"tab\tstays", "tab\tstays"},
      {"two\r\nlines", "two\r\nlines"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},
  };
  ZEL::TZELRollingFileSink sink(FFolder, "Mod", 4000 * 1024, 30);
  for (const auto& c : cases) sink.WriteItem(Entry(c.Message));
  const std::string text = ZEL::Test::LogFileText(Name(0));
  EXPECT_EQ(text.find('\0'), std::string::npos);
  for (const auto& c : cases) EXPECT_NE(text.find("[T] " + c.Written + "\r\n"), std::string::npos) << c.Written;
}

TEST_F(FileSink, FolderAndFilesAreTheUsersAlone) {
  namespace fs = std::filesystem;
  const std::string folder = FFolder + "/new/logs";
  ZEL::TZELRollingFileSink sink(folder, "Mod", 2 * BytesOf("x"), 30);
  sink.WriteItem(Entry("x"));
  sink.WriteItem(Entry("y"));  // rotates: file 01 and a new 00
  for (const std::string& f : {folder + "/Mod.00..txt", folder + "/Mod.01..txt"}) {
    ASSERT_TRUE(fs::exists(f)) << f;
    EXPECT_EQ(fs::status(f).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write) << f;
  }
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::status(FFolder + "/new").permissions() & fs::perms::all, fs::perms::owner_all);

  // A file an older version left readable to others is made private when it is opened.
  const std::string old = FFolder + "/Old.00..txt";
  { std::ofstream(old) << "x"; }
  fs::permissions(old, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
  ZEL::TZELRollingFileSink again(FFolder, "Old", 4000 * 1024, 30);
  EXPECT_EQ(fs::status(old).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
