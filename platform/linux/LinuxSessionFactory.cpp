#include "platform/linux/LinuxSessionFactory.h"

#include "base/text/TavunoLanguage.h"
#include "platform/linux/PipeWireSession.h"
#include "platform/linux/PulseSession.h"
#include "platform/linux/PulseSweep.h"

namespace tavuno {

namespace {

// The session of a Tavuno without the control lock: it never starts, and says why.
class RefusedSession final : public ManagedAudioSession {
 public:
  SessionDiagnostics diagnostics() const override { return {}; }
  bool cleanupFailed() const override { return false; }
  std::optional<SessionFailure> start(const std::vector<AudioObjectID>&,
                                      const AudioDevice&) override {
    return SessionFailure::unsupported(tr(
        "Outro Tavuno já controla os aplicativos nesta sessão; encerre-o para controlá-los aqui."));
  }
  void stop() override {}
  void setGain(float, bool) override {}
  bool shouldStopForBufferHealth(double) override { return false; }
};

}  // namespace

LinuxSessionFactory::LinuxSessionFactory(const SessionControlPlane& plane, std::string journalDir,
                                         std::string guardian)
    : plane_(plane),
      journal_(journalDir),  // creates the folder the lock lives in
      control_(ControlLock::forProcess(journalDir)),
      guardian_(std::move(guardian), journalDir) {}

LinuxSessionFactory::~LinuxSessionFactory() {
  if (sweeper_.joinable()) sweeper_.join();
}

bool LinuxSessionFactory::controlsApps() {
  return control_->tryAcquire();
}

int LinuxSessionFactory::sweep() {
  std::string error;
  if (auto graph = graphs_.current(error)) return PipeWireSession::sweep(*graph, journal_);
  if (plane_.serverIsPipeWire()) return 0;
  auto connection = PulseConnection::connect(error);
  return connection ? sweepPulseTaps(*connection, journal_) : 0;
}

void LinuxSessionFactory::sweepInBackground(std::function<void(int)> done) {
  {
    std::lock_guard lock(sweepMutex_);
    if (sweeping_ || sweeper_.joinable()) return;  // once per factory
    sweeping_ = true;
  }
  sweeper_ = std::thread([this, done = std::move(done)] {
    const int restored = sweep();
    if (done) done(restored);
    {
      std::lock_guard lock(sweepMutex_);
      sweeping_ = false;
    }
    swept_.notify_all();
  });
}

void LinuxSessionFactory::waitForSweep() {
  std::unique_lock lock(sweepMutex_);
  swept_.wait(lock, [this] { return !sweeping_; });
}

std::function<std::shared_ptr<ManagedAudioSession>(bool)> LinuxSessionFactory::factory() {
  return [this](bool) -> std::shared_ptr<ManagedAudioSession> {
    // On the app's worker, which may wait: the start-up sweep puts back what a killed Tavuno
    // left before this one steers anything.
    waitForSweep();
    {
      // Held across the sweep, so no session starts before what the previous holder left is
      // put back.
      std::lock_guard<std::mutex> guard(takeOver_);
      if (!control_->held()) {
        if (!control_->tryAcquire()) return std::make_shared<RefusedSession>();
        // The Tavuno that had the lock is gone: what it may have left steered goes back first.
        sweep();
      }
    }
    std::string error;
    // A PipeWire server that answers gets the PipeWire path; only a server that is not
    // PipeWire gets the fallback (a PipeWire that does not answer fails its start instead).
    if (graphs_.current(error) || plane_.serverIsPipeWire())
      return std::make_shared<PipeWireSession>(PipeWireSessionPorts{plane_, graphs_, journal_});
    return std::make_shared<PulseSession>(PulseSessionPorts{plane_, journal_, &guardian_});
  };
}

}  // namespace tavuno
