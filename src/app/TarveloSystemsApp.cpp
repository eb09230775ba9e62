// Program entry.

#include "ZEL.App.HardConfig.h"
#include "ZEL.App.Instance.h"
#include "ZEL.App.Run.h"
#include "ZEL.Application.h"
#include "ZEL.ExceptionReporter.h"
#include "ZEL.LogsPipe.h"

#include <QCoreApplication>
#include <QLockFile>

#include <csignal>
#include <memory>

int main(int argc, char** argv) {
  // The web view window's engine shares its GL contexts; asked for before any application.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // Before the first log line: a second client must not write into the first one's files.
  const std::unique_ptr<QLockFile> instance = ZEL::App::Instance::TakeLock();
  if (!instance) {
    TZELApplication app(argc, argv);
    return ZEL::App::Instance::TellAlreadyRunning();
  }
  ZEL::App::Run::LogStartupSequence();
  TZELApplication app(argc, argv);
  ZEL::ExceptionReporter::Install(ZEL::HardConfig::EXCEPTION_CALLSTACK_SIZE);
  // A peer that goes away mid-write must not end the program: the write fails instead.
  std::signal(SIGPIPE, SIG_IGN);
  const int rc = ZEL::App::Run::RunApplication();
  ZEL::LogsPipe::Shutdown();
  return rc;
}
