#include "app/QuitOnSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <QCoreApplication>
#include <QSocketNotifier>

namespace tavuno {

namespace {

constexpr int quitSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The write end of the pipe, for the handler (which may run on any thread
// and may only make async-signal-safe calls).
int writeEnd = -1;

void onQuitSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] auto written = ::write(writeEnd, &byte, 1);
  errno = saved;
}

void setHandler(void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : quitSignals)
    sigaction(signal, &action, nullptr);
}

}  // namespace

QuitOnSignals::QuitOnSignals(QObject* parent) : QObject(parent) {
  if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  writeEnd = fds_[1];
  notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QuitOnSignals::onSignal);
  setHandler(onQuitSignal);
}

QuitOnSignals::~QuitOnSignals() {
  if (fds_[0] < 0) return;
  setHandler(SIG_DFL);
  writeEnd = -1;
  delete notifier_;
  ::close(fds_[0]);
  ::close(fds_[1]);
}

void QuitOnSignals::onSignal() {
  char bytes[16];
  while (::read(fds_[0], bytes, sizeof bytes) > 0) {
  }
  setHandler(SIG_DFL);
  // exit(), not quit(): quit() first asks every window to close and gives up
  // when one stays open, and the main window only hides itself.
  QCoreApplication::exit(0);
}

}  // namespace tavuno
