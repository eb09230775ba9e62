#pragma once
// The program after its application object exists. Tests run it inside their own
// QApplication, once or several times in one process.

#include <string>

namespace ZEL::App::Run {

// The entry's first lines: the broker's key and certificate paths in the program's folder
// and whether each file exists, then "Application startup sequence....".
void LogStartupSequence();

// Creates the start-up window, then (once the event loop runs) the start-up data module;
// runs the event loop until the start-up window has closed; frees the data module, the
// window and the global services they made; logs "Application.Run postcall."; returns
// exec()'s result, or the failure that ended the run (ZEL.App.Result). Backend requests still
// in flight once the loop has ended are abandoned.
int RunApplication();

}  // namespace ZEL::App::Run
