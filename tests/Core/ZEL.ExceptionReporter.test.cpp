#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "TestSupport.h"
#include "ZEL.Exceptions.h"
#include "ZEL.ExceptionReporter.h"
#include "ZEL.LogsPipe.TestFiles.h"
#include "ZEL.LogsPipe.h"

namespace ZEL {
ZEL_DECLARE_EXCEPTION(EReportedInTests, EZELException)
}

namespace {

void ThrowOurs() { throw ZEL::EReportedInTests("boom at the edge"); }

}  // namespace

TEST(ExceptionReporter, ReportReachesTheLogAtFatalWithTagException) {
  ZEL::LogsPipe::ZELLog();  // the writer and its report listener exist from the first use
  ZEL::LogsPipe::TLogCapture capture;
  ZEL::ExceptionReporter::Guarded("pool task", [] { ThrowOurs(); });

  const auto reports = capture.WithTag("Exception");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].Type, ZEL::TLogType::Fatal);
  const std::string& text = reports[0].Message;
  EXPECT_EQ(text.rfind("EReportedInTests: boom at the edge\nCaught at: pool task\nCall stack:\n#00 ", 0), 0u)
      << text;

  ZEL::LogsPipe::Flush();
  ZEL::Test::TScopedEnv noOverride("ZEL_LOGS_DIR", nullptr);
  const std::string file = ZEL::LogsPipe::LogsPath() + "/" + ZEL::LogsPipe::ModuleName() + ".00..txt";
  EXPECT_NE(ZEL::Test::LogFileText(file).find("[FATAL] [Exception] EReportedInTests: boom at the edge\n"),
            std::string::npos);
}

TEST(ExceptionReporter, NamesExceptionsOfEveryKind) {
  ZEL::LogsPipe::ZELLog();
  const struct {
    void (*Throw)();
    const char* Head;
  } cases[] = {
      {[] { throw std::out_of_range("index 3"); }, "std::out_of_range: index 3\n"},
      {[] { throw 42; }, "int: \n"},
  };
  for (const auto& c : cases) {
    ZEL::LogsPipe::TLogCapture capture;
    ZEL::ExceptionReporter::Guarded("Qt event loop", c.Throw);
    const auto reports = capture.WithTag("Exception");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].Message.rfind(c.Head, 0), 0u) << reports[0].Message;
  }
  ZEL::LogsPipe::TLogCapture capture;
  ZEL::ExceptionReporter::Guarded("quiet", [] {});
  EXPECT_TRUE(capture.Entries().empty());
}

TEST(ExceptionReporter, StackTraceHasAtMostTheGivenDepth) {
  EXPECT_EQ(ZEL::ExceptionReporter::CaptureStackTrace(0), "");
  const std::string three = ZEL::ExceptionReporter::CaptureStackTrace(3);
  EXPECT_EQ(std::count(three.begin(), three.end(), '\n'), 3);
  EXPECT_EQ(three.rfind("#00 ", 0), 0u);
  EXPECT_NE(three.find("\n#02 "), std::string::npos);
}

TEST(ExceptionReporterDeathTest, TerminateReportsIntoTheLogAndAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The child runs this body again from the start: it must take the parent's folder.
  const char* inherited = std::getenv("ZEL_TEST_TERMINATE_LOGS");
  const std::string folder = inherited ? inherited : ZEL::Test::NewTempFolder("terminate");
  ZEL::Test::TScopedEnv mark("ZEL_TEST_TERMINATE_LOGS", folder.c_str());
  ZEL::Test::TScopedEnv logs("ZEL_LOGS_DIR", folder.c_str());
  EXPECT_DEATH(
      {
        ZEL::ExceptionReporter::Install(8);
        try {
          ThrowOurs();
        } catch (...) {
          std::terminate();
        }
      },
      "");
  const std::string text = ZEL::Test::LogFileText(folder + "/zel_core_tests.00..txt");
  EXPECT_NE(text.find("[FATAL] [Exception] EReportedInTests: boom at the edge\nCaught at: terminate\n"),
            std::string::npos)
      << text;
}
