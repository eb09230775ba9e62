#pragma once
// The program's exit code, for a supervising script: 0 when the user ended it, non-zero when
// it could not run or a failure ended it.

namespace ZEL::App::Result {

// The user closed the window, signed out, or the program was told to end (INT, TERM, HUP).
inline constexpr int UserEnded = 0;
// Another client runs for the same settings folder.
inline constexpr int AlreadyRunning = 1;
// The start-up window or the global services could not be made.
inline constexpr int StartFailed = 2;
// A failure ended the session: the forced sign-out after the broker stayed out of reach, a
// sign-in that could not be renewed, or the failed sync with the backend.
inline constexpr int SessionFailed = 3;

// A failure will end this run; the first one reported gives the run's result.
void Failed(int ACode);

// The run's result so far (UserEnded unless a failure was reported); clears it for the next
// run (tests run the program several times in one process).
int Take();

}  // namespace ZEL::App::Result
