#pragma once
// One client per settings folder: a second one would share the broker's client id (each
// throwing the other off the broker) and write the same settings and log files.

#include <memory>
#include <string>

class QLockFile;

namespace ZEL::App::Instance {

inline constexpr const char* AlreadyRunningText =
    "Tarvelo Systems is already running for this user. Please use the window that is open.";

// The lock file, next to the settings file.
std::string LockFilePath();

// A lock file that names no owner is taken over once it has not changed for this long.
inline constexpr long long UnreadableLockAgeMs = 5000;

// Takes the lock of the settings folder (made when missing, 0700); none when a running client
// holds it. A lock left behind by a client that crashed is taken over, and so is one whose
// owner cannot be read once it is older than UnreadableLockAgeMs. Where no lock file can be
// made at all, the object comes back unlocked and the client runs without it.
std::unique_ptr<QLockFile> TakeLock();

// The second client's end: tells the user (stderr and a message box) and returns once the
// box is closed or the program is told to end; the program's result.
int TellAlreadyRunning();

}  // namespace ZEL::App::Instance
