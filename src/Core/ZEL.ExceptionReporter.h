#pragma once
// Turns exceptions that nobody handled into reports: the exception's class name, its
// message, where it was caught and a call stack. Each report is sent as an in-process
// TExceptionReportMessage; the logging pipe writes it at Fatal with the tag "Exception".

#include <string>
#include <string_view>
#include <utility>

#include "ZEL.Messaging.h"

namespace ZEL {

class TExceptionReportMessage : public TMessageBase {
public:
  static constexpr std::string_view TypeName = "TExceptionReportMessage";
  explicit TExceptionReportMessage(std::string AReport) : FReport(std::move(AReport)) {}
  // The full text: class, message, context and call stack.
  const std::string& Report() const { return FReport; }

private:
  std::string FReport;
};

}  // namespace ZEL

namespace ZEL::ExceptionReporter {

// Installs the terminate handler; reports carry at most ACallStackDepth frames.
void Install(int ACallStackDepth);

// The call stack of the calling thread, one frame a line, at most ADepth frames.
std::string CaptureStackTrace(int ADepth);

// Call inside a catch block: reports the exception in flight. AContext says where it
// was caught ("Qt event loop", "pool task", a thread's name). Never throws.
void ReportCurrentException(std::string_view AContext) noexcept;

// Runs AWork and reports whatever it throws: the top of every thread and pool task of ours.
template <class F>
void Guarded(std::string_view AContext, F&& AWork) noexcept {
  try {
    std::forward<F>(AWork)();
  } catch (...) {
    ReportCurrentException(AContext);
  }
}

}  // namespace ZEL::ExceptionReporter
