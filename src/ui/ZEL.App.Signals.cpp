#include "ZEL.App.Signals.h"

#include "ZEL.ExceptionReporter.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <iterator>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ZEL::App::Signals {

namespace {

// HUP: the terminal the program was started from has closed.
constexpr int cSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The pipe's write end, read by the handler (lock-free, so safe in a signal handler).
std::atomic<int> GWriteEnd{-1};
struct sigaction GPrevious[std::size(cSignals)];

void OnSignal(int ASignal) {
  const int LSavedErrno = errno;
  const char LByte = static_cast<char>(ASignal);
  const int LFd = GWriteEnd.load();
  // A full pipe loses this byte only: the ones before it end the program already.
  if (LFd >= 0 && ::write(LFd, &LByte, 1) < 0) {
  }
  errno = LSavedErrno;
}

}  // namespace

TEndOnSignals::TEndOnSignals(std::function<void(int)> AOnSignal) : FOnSignal(std::move(AOnSignal)) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, FPipe) != 0) {
    FPipe[0] = FPipe[1] = -1;
    return;
  }
  GWriteEnd = FPipe[1];
  FNotifier = new QSocketNotifier(FPipe[0], QSocketNotifier::Read);
  QObject::connect(FNotifier, &QSocketNotifier::activated, [this] { Drain(); });
  for (std::size_t I = 0; I < std::size(cSignals); ++I) {
    struct sigaction LAction = {};
    LAction.sa_handler = OnSignal;
    sigemptyset(&LAction.sa_mask);
    LAction.sa_flags = SA_RESTART;
    ::sigaction(cSignals[I], &LAction, &GPrevious[I]);
  }
}

TEndOnSignals::~TEndOnSignals() {
  if (!FNotifier) return;
  for (std::size_t I = 0; I < std::size(cSignals); ++I) ::sigaction(cSignals[I], &GPrevious[I], nullptr);
  GWriteEnd = -1;
  delete FNotifier;
  ::close(FPipe[0]);
  ::close(FPipe[1]);
}

void TEndOnSignals::Drain() {
  char LBytes[16];
  ssize_t LRead = 0;
  while ((LRead = ::read(FPipe[0], LBytes, sizeof LBytes)) > 0)
    for (ssize_t I = 0; I < LRead; ++I)
      ExceptionReporter::Guarded("Signal handling", [&] {
        if (FOnSignal) FOnSignal(static_cast<unsigned char>(LBytes[I]));
      });
}

}  // namespace ZEL::App::Signals
