// Program entry.

#include "ZEL.App.HardConfig.h"
#include "ZEL.App.Run.h"
#include "ZEL.Application.h"
#include "ZEL.ExceptionReporter.h"
#include "ZEL.LogsPipe.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char** argv) {
  ZEL::App::Run::LogStartupSequence();
  // The web view window's engine shares its GL contexts; asked for before the application.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  TZELApplication app(argc, argv);
  ZEL::ExceptionReporter::Install(ZEL::HardConfig::EXCEPTION_CALLSTACK_SIZE);
  // A peer that goes away mid-write must not end the program: the write fails instead.
  std::signal(SIGPIPE, SIG_IGN);
  const int rc = ZEL::App::Run::RunApplication();
  ZEL::LogsPipe::Shutdown();
  return rc;
}
