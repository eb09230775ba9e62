// Program entry.

#include "ZEL.App.HardConfig.h"
#include "ZEL.Application.h"
#include "ZEL.ExceptionReporter.h"
#include "ZEL.LogsPipe.h"

int main(int argc, char** argv) {
  ZEL::LogsPipe::ZELLog().Info("Application", "Application startup sequence....");
  ZEL::ExceptionReporter::Install(ZEL::HardConfig::EXCEPTION_CALLSTACK_SIZE);
  TZELApplication app(argc, argv);
  ZEL::LogsPipe::ZELLog().Info("Application", "Application.Run postcall.");
  return 0;
}
