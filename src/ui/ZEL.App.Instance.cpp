#include "ZEL.App.Instance.h"

#include "ZEL.App.Result.h"
#include "ZEL.App.Signals.h"
#include "ZEL.Dialogs.h"
#include "ZEL.Files.h"
#include "ZEL.SettingsFile.INIFile.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLockFile>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace ZEL::App::Instance {

std::string LockFilePath() { return SettingsFile::INIFile::SettingsFilePath() + ".lock"; }

namespace {

// A lock file whose owner cannot be read (empty, or not what a client writes) that has not
// changed for this long. Younger, it may be one a starting client has made and not yet written.
bool IsAbandonedUnreadable(QLockFile& ALock, const QString& APath) {
  qint64 LPid = 0;
  QString LHost;
  QString LApp;
  if (ALock.getLockInfo(&LPid, &LHost, &LApp)) return false;
  const QFileInfo LInfo(APath);
  if (!LInfo.exists()) return false;
  const qint64 LAgeMs = LInfo.lastModified().msecsTo(QDateTime::currentDateTime());
  return std::abs(LAgeMs) > UnreadableLockAgeMs;
}

}  // namespace

std::unique_ptr<QLockFile> TakeLock() {
  // The folder is the user's alone, as the settings file in it.
  Files::MakePrivateFolders(SettingsFile::INIFile::SettingsFolder());
  const QString LPath = QString::fromStdString(LockFilePath());
  auto LLock = std::make_unique<QLockFile>(LPath);
  // Never stale by age: a client may run for weeks. A lock whose process is gone is stale.
  LLock->setStaleLockTime(0);
  if (LLock->tryLock(0)) return LLock;
  // A crash between making and writing the lock, or a power loss, leaves one that names no
  // owner. The removal is refused while a running client holds the file.
  if (LLock->error() == QLockFile::LockFailedError && IsAbandonedUnreadable(*LLock, LPath) &&
      LLock->removeStaleLockFile() && LLock->tryLock(0))
    return LLock;
  // Only a lock held by a running client stops this one; a folder where no lock can be made
  // (not writable) is no reason to refuse the start: the client then runs without one.
  if (LLock->error() == QLockFile::LockFailedError) return nullptr;
  return LLock;
}

int TellAlreadyRunning() {
  std::fprintf(stderr, "%s\n", AlreadyRunningText);
  std::fflush(stderr);
  Signals::TEndOnSignals LSignals([](int) { QCoreApplication::exit(Result::AlreadyRunning); });
  // Shown once the loop runs, so that closing it can end the loop.
  QTimer::singleShot(0, qApp, [] {
    Dialogs::Dialogs().ShowMessage(nullptr, AlreadyRunningText, [] { QCoreApplication::exit(Result::AlreadyRunning); });
  });
  QApplication::exec();
  return Result::AlreadyRunning;
}

}  // namespace ZEL::App::Instance
