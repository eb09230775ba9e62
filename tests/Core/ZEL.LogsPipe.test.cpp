#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <cstring>
#include <fstream>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include <fmt/ranges.h>

#include "TestSupport.h"
#include "ZEL.LogsPipe.TestFiles.h"
#include "ZEL.LogsPipe.h"
#include "ZEL.PlatformLog.h"

using namespace std::chrono;
using ZEL::TLogType;

namespace {

struct TLineCase {
  const char* Zone;
  sys_days Day;
  TLogType Type;
  const char* Tag;
  const char* Message;
  const char* Expected;
};

const std::string cStamp = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d))";

}  // namespace

TEST(LogsPipeLine, FormatsTimeThreadLevelTagAndMessage) {
  using namespace std::chrono_literals;
  const TLineCase cases[] = {
      {"UTC", 2024y / 3 / 5, TLogType::Info, "MQTTService", "Connected to broker.",
       "2024-03-05T14:07:09.042Z [TID 4711] [INFO] [MQTTService] Connected to broker."},
      {"Europe/Berlin", 2024y / 1 / 5, TLogType::Debug, "T", "m",
       "2024-01-05T15:07:09.042+01:00 [TID 4711] [DEBUG] [T] m"},
      {"Europe/Berlin", 2024y / 7 / 5, TLogType::Warning, "T", "m",
       "2024-07-05T16:07:09.042+02:00 [TID 4711] [WARNING] [T] m"},
      {"America/St_Johns", 2024y / 1 / 5, TLogType::Error, "T", "m",
       "2024-01-05T10:37:09.042-03:30 [TID 4711] [ERROR] [T] m"},
      {"Asia/Kolkata", 2024y / 12 / 31, TLogType::Fatal, "T", "m",
       "2024-12-31T19:37:09.042+05:30 [TID 4711] [FATAL] [T] m"},
      // Empty texts keep their brackets; a line break stays inside the message.
      {"UTC", 2024y / 3 / 5, TLogType::Info, "", "", "2024-03-05T14:07:09.042Z [TID 4711] [INFO] [] "},
      {"UTC", 2024y / 3 / 5, TLogType::Info, "Exception", "first\nsecond",
       "2024-03-05T14:07:09.042Z [TID 4711] [INFO] [Exception] first\nsecond"},
  };
  for (const auto& c : cases) {
    ZEL::Test::TScopedEnv tz("TZ", c.Zone);
    ZEL::TLogItem item;
    item.LogType = c.Type;
    item.Tag = c.Tag;
    item.Message = c.Message;
    item.TimeStamp = system_clock::time_point(c.Day) + 14h + 7min + 9s + 42ms;
    item.ThreadID = 4711;
    EXPECT_EQ(ZEL::TPlatformLog::FormatLogItem(item, true), c.Expected) << c.Zone;
    EXPECT_EQ(ZEL::TPlatformLog::FormatLogItem(item, false), c.Expected) << "the flag changes nothing";
  }
}

class LogsPipeWriter : public ::testing::Test {
protected:
  std::string FFolder = ZEL::Test::NewTempFolder("logs");
  std::string File00() const { return FFolder + "/Mod.00..txt"; }
};

TEST_F(LogsPipeWriter, WritesEachEntryAsOneLineWithTheCallersThread) {
  {
    ZEL::TLogWriter writer(FFolder, "Mod", 4000 * 1024, 30);
    writer.Info("MQTTService", "Connected to broker.");
    writer.InfoFmt("TZELRESTService.GetEvents", "Service request({}) sent.", "abc");
    writer.Warn("", "");
    writer.Fatal("Exception", "line1\nline2");
    writer.Debug("Next", "100% {braces} stay");
    writer.Error("T", "an error");
    writer.Flush();
    EXPECT_TRUE(writer.WritesToFiles());
  }
  const auto lines = ZEL::Test::LogFileLines(File00());
  ASSERT_EQ(lines.size(), 6u);
  const std::string tid = "[TID " + std::to_string(gettid()) + "] ";
  const std::string expected[] = {
      tid + "[INFO] [MQTTService] Connected to broker.",
      tid + "[INFO] [TZELRESTService.GetEvents] Service request(abc) sent.",
      tid + "[WARNING] [] ",
      tid + "[FATAL] [Exception] line1\nline2",
      tid + "[DEBUG] [Next] 100% {braces} stay",
      tid + "[ERROR] [T] an error",
  };
  const std::regex stamp(cStamp + " ");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_search(lines[i], m, stamp, std::regex_constants::match_continuous)) << lines[i];
    EXPECT_EQ(lines[i].substr(m.length()), expected[i]);
  }
}

namespace {

// Keeps each formatted entry as the log writer's queue does (format string and packed
// arguments) and makes its text only when asked, after the caller's arguments are gone.
class TLaterWriter final : public ZEL::ILogWriter {
public:
  void Log(TLogType, std::string_view, std::string_view AMessage) override {
    FEntries.push_back({std::string(AMessage), {}, {}, nullptr});
  }
  // The texts, the deferred ones made now.
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& e : FEntries) {
      if (!e.Render) {
        out.push_back(e.Text);
        continue;
      }
      fmt::memory_buffer buf;
      e.Render(buf, e.Format, e.Args.data());
      out.push_back(fmt::to_string(buf));
    }
    return out;
  }
  bool Deferred(std::size_t AIndex) const { return FEntries.at(AIndex).Render != nullptr; }

protected:
  void LogDeferred(TLogType, std::string_view, const ZEL::LogsPipe::TDeferredFmt& AMessage) override {
    TEntry e{{}, std::string(AMessage.Format.data(), AMessage.Format.size()), std::string(AMessage.ArgsSize, '\x7F'),
             AMessage.Render};
    const char* end = AMessage.PackArgs(AMessage.Args, e.Args.data());
    EXPECT_EQ(end, e.Args.data() + e.Args.size()) << "packed as many bytes as announced: " << e.Format;
    FEntries.push_back(std::move(e));
  }

private:
  struct TEntry {
    std::string Text, Format, Args;
    void (*Render)(fmt::memory_buffer&, fmt::string_view, const char*);
  };
  std::vector<TEntry> FEntries;
};

}  // namespace

TEST(LogsPipeDeferred, TextMadeLaterIsTheCallersTextEvenWhenItsSourcesAreGone) {
  TLaterWriter writer;
  std::vector<std::string> expected;
  {
    // Every source below dies or changes before the texts are made.
    std::string owned = "edge-6b1f2c";
    char buffer[32] = "a changing buffer";
    const char* cstr = buffer;
    std::string longText(5000, 'x');
    longText += "\xE2\x82\xAC end";
    const std::string_view view = owned;
    const std::string_view empty;  // no data at all
    void* address = &owned;
    const std::vector<int> items{1, 2, 3};

    writer.InfoFmt("T", "Service request({}) sent to {}.", owned, cstr);
    expected.push_back(fmt::format("Service request({}) sent to {}.", owned, cstr));
    writer.InfoFmt("T", "[{:>14}|{:<6}|{:^9}]", view, "lit", std::string("temp"));
    expected.push_back(fmt::format("[{:>14}|{:<6}|{:^9}]", view, "lit", std::string("temp")));
    writer.DebugFmt("T", "{} {:x} {:08.3f} {} {} {} {}", -7, 255u, 3.14159, true, 'c', static_cast<unsigned char>(200),
                    std::numeric_limits<std::int64_t>::min());
    expected.push_back(fmt::format("{} {:x} {:08.3f} {} {} {} {}", -7, 255u, 3.14159, true, 'c',
                                   static_cast<unsigned char>(200), std::numeric_limits<std::int64_t>::min()));
    writer.WarnFmt("T", "[{}][{}] {} {}", empty, std::string(), 1.5f, 2.25L);
    expected.push_back(fmt::format("[{}][{}] {} {}", empty, std::string(), 1.5f, 2.25L));
    writer.ErrorFmt("T", "{:p} {}", address, longText);
    expected.push_back(fmt::format("{:p} {}", address, longText));
    writer.FatalFmt("T", "no arguments, {{braces}} and 100%");
    expected.push_back(fmt::format("no arguments, {{braces}} and 100%"));
    // A view into the caller's data cannot wait: its text is made at once.
    writer.InfoFmt("T", "items {}", fmt::join(items, ","));
    expected.push_back("items 1,2,3");

    std::strcpy(buffer, "overwritten!");
    owned.assign(40, '?');
    longText.clear();
    longText.shrink_to_fit();
  }
  EXPECT_EQ(writer.Texts(), expected);
  for (std::size_t i = 0; i + 1 < expected.size(); ++i) EXPECT_TRUE(writer.Deferred(i)) << expected[i];
  EXPECT_FALSE(writer.Deferred(expected.size() - 1));
}

TEST_F(LogsPipeWriter, FormattedEntriesReachTheFileAsTheCallerFormattedThem) {
  std::vector<std::string> expected;
  {
    ZEL::TLogWriter writer(FFolder, "Mod", 4000 * 1024, 30);
    for (int i = 0; i < 2000; ++i) {
      std::string id = fmt::format("edge-{:04}", i);
      writer.InfoFmt("MQTTService", "Recognized type = {} for {} ({:.2f})", i % 7, id, i / 3.0);
      expected.push_back(fmt::format("Recognized type = {} for {} ({:.2f})", i % 7, id, i / 3.0));
      id.assign(id.size(), '#');  // gone before the writer gets to it, most likely
    }
    writer.Flush();  // not a shutdown: Flush alone must find every line in the file
    const auto lines = ZEL::Test::LogFileLines(File00());
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
      ASSERT_TRUE(lines[i].ends_with("[INFO] [MQTTService] " + expected[i])) << lines[i];
  }
}

TEST_F(LogsPipeWriter, ShutdownWritesEveryQueuedEntry) {
  constexpr int cEntries = 30000;  // several times what the queue holds: callers wait for room
  {
    ZEL::TLogWriter writer(FFolder, "Mod", 64 * 1024 * 1024, 30);
    for (int i = 0; i < cEntries; ++i) writer.DebugFmt("Q", "entry {}", i);
    writer.Shutdown();
    EXPECT_TRUE(writer.Flush(milliseconds(0))) << "nothing left to wait for";
  }
  const auto lines = ZEL::Test::LogFileLines(File00());
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(cEntries));
  for (int i = 0; i < cEntries; ++i) ASSERT_TRUE(lines[i].ends_with(fmt::format("[Q] entry {}", i))) << lines[i];
}

TEST_F(LogsPipeWriter, TheWriterThreadIsNamedAndEndsWithShutdown) {
  const auto named = [] {
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
      std::string name;
      std::getline(std::ifstream(task.path() / "comm"), name);
      count += name == "ZELLog";
    }
    return count;
  };
  const int before = named();  // the process writer may be running too
  ZEL::TLogWriter writer(FFolder, "Mod", 4000 * 1024, 30);
  writer.Info("T", "x");
  writer.Flush();
  EXPECT_EQ(named(), before + 1);
  writer.Shutdown();
  EXPECT_EQ(named(), before);
}

TEST_F(LogsPipeWriter, CaptureRecordsAtOnceOnTheCallersThread) {
  ZEL::TLogWriter writer(FFolder, "Mod", 4000 * 1024, 30);
  writer.Info("Before", "not seen");
  ZEL::LogsPipe::TLogCapture capture;
  writer.ErrorFmt("TZELEdgeService.Find", "Edge {} not found", "E1");
  writer.Debug("Other", "x");
  const auto all = capture.Entries();  // no flush: recorded as the entry was made
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].Type, TLogType::Error);
  EXPECT_EQ(all[0].Message, "Edge E1 not found");
  ASSERT_EQ(capture.WithTag("Other").size(), 1u);
  capture.Clear();
  EXPECT_TRUE(capture.Entries().empty());
}

TEST_F(LogsPipeWriter, AfterShutdownEntriesGoToStandardError) {
  ZEL::TLogWriter writer(FFolder, "Mod", 4000 * 1024, 30);
  writer.Info("T", "before");
  writer.Shutdown();  // drains: "before" is in the file without a Flush
  testing::internal::CaptureStderr();
  writer.Info("T", "after");
  writer.WarnFmt("T", "after {} with {}", 2, std::string("arguments"));
  EXPECT_TRUE(writer.Flush(milliseconds(100)));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("[INFO] [T] after\n"), std::string::npos) << err;
  EXPECT_NE(err.find("[WARNING] [T] after 2 with arguments\n"), std::string::npos) << err;
  const auto lines = ZEL::Test::LogFileLines(File00());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("[T] before"), std::string::npos);
}

TEST_F(LogsPipeWriter, FolderThatCannotBeMadeLeavesTheProgramLoggingToStandardError) {
  std::ofstream(FFolder + "/blocker") << "a file where the folder should be";
  testing::internal::CaptureStderr();
  {
    ZEL::TLogWriter writer(FFolder + "/blocker/ZELLogs", "Mod", 4000 * 1024, 30);
    EXPECT_FALSE(writer.WritesToFiles());
    writer.Info("T", "first");
    writer.Info("T", "second");
    writer.Flush();
  }
  const std::string err = testing::internal::GetCapturedStderr();
  const std::string why = "ZELLog: cannot make the log folder \"" + FFolder + "/blocker/ZELLogs\"";
  const auto at = err.find(why);
  ASSERT_NE(at, std::string::npos) << err;
  EXPECT_EQ(err.find("ZELLog:", at + 1), std::string::npos) << "said once";
  EXPECT_NE(err.find("[INFO] [T] first\n"), std::string::npos) << err;
  EXPECT_NE(err.find("[INFO] [T] second\n"), std::string::npos) << err;
}

TEST(LogsPipe, LogsPathIsTheUserDataFolderOrTheOverride) {
  {
    ZEL::Test::TScopedEnv noOverride("ZEL_LOGS_DIR", nullptr);
    const std::string expected = std::string(std::getenv("XDG_DATA_HOME")) + "/ZELLogs";
    EXPECT_EQ(ZEL::LogsPipe::LogsPath(), expected);
    EXPECT_TRUE(std::filesystem::is_directory(expected));
  }
  const std::string base = ZEL::Test::NewTempFolder("logspath");
  ZEL::Test::TScopedEnv over("ZEL_LOGS_DIR", (base + "/a/b/").c_str());
  EXPECT_EQ(ZEL::LogsPipe::LogsPath(), base + "/a/b") << "no trailing delimiter";
  EXPECT_TRUE(std::filesystem::is_directory(base + "/a/b")) << "made with its parents";
}

TEST(LogsPipe, TheProcessWriterWritesTheProgramsFile00) {
  ZEL::LogsPipe::ZELLog().Info("Application", "Application startup sequence....");
  ZEL::LogsPipe::Flush();
  EXPECT_EQ(ZEL::LogsPipe::ModuleName(), "zel_core_tests");
  ZEL::Test::TScopedEnv noOverride("ZEL_LOGS_DIR", nullptr);
  const std::string file = ZEL::LogsPipe::LogsPath() + "/zel_core_tests.00..txt";
  EXPECT_NE(ZEL::Test::LogFileText(file).find("[INFO] [Application] Application startup sequence....\r\n"),
            std::string::npos);
}
