#include "ZEL.App.Instance.h"

#include "ZEL.App.Signals.h"
#include "ZEL.Dialogs.h"
#include "ZEL.SettingsFile.INIFile.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QTimer>

#include <cstdio>

namespace ZEL::App::Instance {

std::string LockFilePath() { return SettingsFile::INIFile::SettingsFilePath() + ".lock"; }

std::unique_ptr<QLockFile> TakeLock() {
  QDir().mkpath(QString::fromStdString(SettingsFile::INIFile::SettingsFolder()));
  auto LLock = std::make_unique<QLockFile>(QString::fromStdString(LockFilePath()));
  // Never stale by age: a client may run for weeks. A lock whose process is gone is stale.
  LLock->setStaleLockTime(0);
  // Only a lock held by a running client stops this one; a folder where no lock can be made
  // (not writable) is no reason to refuse the start: the client then runs without one.
  if (!LLock->tryLock(0) && LLock->error() == QLockFile::LockFailedError) return nullptr;
  return LLock;
}

int TellAlreadyRunning() {
  std::fprintf(stderr, "%s\n", AlreadyRunningText);
  std::fflush(stderr);
  Signals::TEndOnSignals LSignals([](int) { QCoreApplication::exit(1); });
  // Shown once the loop runs, so that closing it can end the loop.
  QTimer::singleShot(0, qApp, [] {
    Dialogs::Dialogs().ShowMessage(nullptr, AlreadyRunningText, [] { QCoreApplication::exit(1); });
  });
  QApplication::exec();
  return 1;
}

}  // namespace ZEL::App::Instance
