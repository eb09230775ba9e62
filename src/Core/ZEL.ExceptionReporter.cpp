#include "ZEL.ExceptionReporter.h"

#include <cxxabi.h>
#include <execinfo.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <typeinfo>
#include <vector>

#include <fmt/format.h>

#include "ZEL.App.HardConfig.h"
#include "ZEL.Exceptions.h"
#include "ZEL.LogsPipe.h"

namespace ZEL::ExceptionReporter {

namespace {

std::atomic<int> GDepth{HardConfig::EXCEPTION_CALLSTACK_SIZE};

std::string Demangle(const std::string& AName) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> out(
      abi::__cxa_demangle(AName.c_str(), nullptr, nullptr, &status), std::free);
  return status == 0 && out ? std::string(out.get()) : AName;
}

// "module(_ZN3ZEL3FooEv+0x1a) [0x...]" with the symbol demangled.
std::string DemangleFrame(const char* ASymbol) {
  std::string text(ASymbol);
  const auto open = text.find('(');
  const auto plus = text.find('+', open == std::string::npos ? 0 : open);
  if (open == std::string::npos || plus == std::string::npos || plus <= open + 1) return text;
  const std::string mangled = text.substr(open + 1, plus - open - 1);
  return text.substr(0, open + 1) + Demangle(mangled) + text.substr(plus);
}

// The class of the exception in flight; for one that is not a std::exception, its type.
Exceptions::TCaught DescribeInFlight() {
  Exceptions::TCaught caught = Exceptions::DescribeCurrent();
  if (caught.ClassName == "Unknown" && std::current_exception()) {
    if (const std::type_info* type = abi::__cxa_current_exception_type())
      caught.ClassName = Demangle(type->name());
  }
  return caught;
}

std::string ComposeReport(const Exceptions::TCaught& ACaught, std::string_view AContext) {
  return fmt::format("{}: {}\nCaught at: {}\nCall stack:\n{}", ACaught.ClassName, ACaught.Message,
                     AContext, CaptureStackTrace(GDepth.load(std::memory_order_relaxed)));
}

void Send(std::string AReport) {
  // The writer is built lazily and subscribes its report listener then; without it a
  // report made before the first log entry would reach nobody.
  LogsPipe::ZELLog();
  TZELMessager<TExceptionReportMessage>::Send(
      [&AReport] { return std::make_unique<TExceptionReportMessage>(std::move(AReport)); });
}

[[noreturn]] void OnTerminate() noexcept {
  static std::atomic<bool> entered{false};
  if (!entered.exchange(true)) {
    if (std::current_exception()) {
      ReportCurrentException("terminate");
    } else {
      try {
        Send(ComposeReport({"std::terminate", "called without an exception in flight"}, "terminate"));
      } catch (...) {
      }
    }
    // The report must reach the file before the process goes; never wait forever.
    LogsPipe::Flush(std::chrono::seconds(5));
  }
  std::abort();
}

}  // namespace

void Install(int ACallStackDepth) {
  GDepth.store(ACallStackDepth, std::memory_order_relaxed);
  LogsPipe::ZELLog();  // the report listener is in place before the first report
  std::set_terminate(OnTerminate);
}

std::string CaptureStackTrace(int ADepth) {
  if (ADepth <= 0) return {};
  std::vector<void*> frames(static_cast<std::size_t>(ADepth) + 1);
  const int count = ::backtrace(frames.data(), static_cast<int>(frames.size()));
  std::unique_ptr<char*, void (*)(void*)> symbols(::backtrace_symbols(frames.data(), count), std::free);
  std::string out;
  // Frame 0 is this function itself.
  for (int i = 1; i < count; ++i) {
    const std::string frame =
        symbols ? DemangleFrame(symbols.get()[i]) : fmt::format("[{}]", frames[static_cast<std::size_t>(i)]);
    fmt::format_to(std::back_inserter(out), "#{:02} {}\n", i - 1, frame);
  }
  return out;
}

void ReportCurrentException(std::string_view AContext) noexcept {
  try {
    Send(ComposeReport(DescribeInFlight(), AContext));
  } catch (...) {
    std::fputs("ExceptionReporter: an exception report could not be sent.\n", stderr);
  }
}

}  // namespace ZEL::ExceptionReporter
