#include "ZEL.Application.h"

#include "ZEL.ExceptionReporter.h"

TZELApplication::TZELApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TZELApplication::notify(QObject* AReceiver, QEvent* AEvent) {
  try {
    return QApplication::notify(AReceiver, AEvent);
  } catch (...) {
    ZEL::ExceptionReporter::ReportCurrentException("Qt event loop");
    return false;
  }
}
