#pragma once

#include <QObject>

class QSocketNotifier;

namespace tavuno {

// Quits the application through its event loop on SIGTERM (the session
// ending, a service manager), SIGINT (Ctrl+C in a terminal) and SIGHUP, so
// quitting goes the usual way and every application gets its own audio back.
// A second signal while quitting ends the process at once, as it would have
// without Tavuno's handlers. One per process, on the main thread.
class QuitOnSignals : public QObject {
  Q_OBJECT

 public:
  explicit QuitOnSignals(QObject* parent = nullptr);
  ~QuitOnSignals() override;

 private:
  void onSignal();

  int fds_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tavuno
