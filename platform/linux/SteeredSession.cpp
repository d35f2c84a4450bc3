#include "platform/linux/SteeredSession.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "base/text/TavunoLanguage.h"
#include "engine/sessions/RetainedAfterFailedCleanup.h"
#include "platform/linux/ProcFs.h"
#include "platform/linux/ServerKeys.h"

namespace tavuno {

namespace {

std::atomic<unsigned> tapCounter{0};

float sanitize(float gain) {
  if (!std::isfinite(gain)) return 1.0f;
  return std::clamp(gain, 0.0f, 1.0f);
}

bool sameStream(const SteerRecord& a, const SteerRecord& b) {
  return a.node == b.node && a.serial == b.serial && a.tap == b.tap;
}

}  // namespace

SteeredSession::SteeredSession(const SessionControlPlane& plane, SteerJournal& journal)
    : dsp_(tdsp_create()), plane_(plane), journal_(journal) {}

SteeredSession::~SteeredSession() {
  // The server's session has stopped by now (its destructor calls stop()): nothing runs the
  // kernel any more unless a cleanup failed, and then the server may still hold a stream that
  // does, so the state is kept for good.
  if (cleanupFailed_) {
    RetainedAfterFailedCleanup::keep(dsp_, "tdsp_state");
  } else {
    tdsp_destroy(dsp_);
  }
}

SessionDiagnostics SteeredSession::diagnostics() const {
  return {tdsp_callbacks(dsp_), tdsp_input_peak(dsp_), tdsp_output_peak(dsp_)};
}

bool SteeredSession::shouldStopForBufferHealth(double /*now*/) {
  if (streamsBroken()) return true;
  // Every stream went to another Tavuno: the session controls nothing and must not say it does.
  if (lostToRival_.load(std::memory_order_relaxed)) return true;
  return tdsp_underruns(dsp_) > 1024 || tdsp_overruns(dsp_) > 1024;
}

void SteeredSession::setGain(float gain, bool muted) {
  std::lock_guard<std::mutex> guard(gainMutex_);
  gain_ = sanitize(gain);
  muted_ = muted;
  ++gainVersion_;
  applyKernelGain();
  gate_.nudge();
}

void SteeredSession::applyKernelGain() {
  const float level = streamLevel_ > 0.0f ? streamLevel_ : 1.0f;
  tdsp_set_gain(dsp_, std::min(1.0f, gain_ / level), muted_);
}

SteeredSession::Levels SteeredSession::levels() const {
  std::lock_guard<std::mutex> guard(gainMutex_);
  return {gain_, muted_, gainVersion_};
}

SteeredSession::Levels SteeredSession::holdStreamLevel(float level, bool known) {
  std::lock_guard<std::mutex> guard(gainMutex_);
  streamLevel_ = known ? level : 1.0f;
  applyKernelGain();
  return {gain_, muted_, gainVersion_};
}

bool SteeredSession::seedPending() const {
  std::lock_guard<std::mutex> guard(gainMutex_);
  return seededVersion_ != gainVersion_;
}

std::vector<std::uint32_t> SteeredSession::steeredNodes() const {
  std::lock_guard<std::mutex> guard(steeredMutex_);
  std::vector<std::uint32_t> out;
  for (const auto& [node, s] : steered_)
    out.push_back(node);
  return out;
}

std::string SteeredSession::claimTapName() {
  const std::string suffix = std::to_string(::getpid()) + "." + std::to_string(++tapCounter);
  tapName_ = serverkey::tapNamePrefix + suffix;
  return suffix;
}

std::optional<SessionFailure> SteeredSession::start(const std::vector<AudioObjectID>& processes,
                                                    const AudioDevice& device) {
  if (cleanupFailed_ || running_ || processes.empty() || !device.output || dsp_ == nullptr)
    return SessionFailure::unsupported(tr("Processo ou saída indisponível."));
  pids_.clear();
  pidStarts_.clear();
  auto targets = plane_.targets(processes, device.id);
  if (!targets) return SessionFailure::unsupported(tr("Processo ou saída indisponível."));
  pids_ = std::move(targets->pids);
  pidStarts_ = std::move(targets->pidStarts);
  lostToRival_ = false;
  if (auto failure = open(targets->output)) {
    teardown();
    return failure;
  }
  running_ = true;
  gate_.open();
  follower_ = std::thread([this] { follow(); });
  return std::nullopt;
}

void SteeredSession::follow() {
  for (;;) {
    const FollowerGate::Wake wake = gate_.await(beatSeconds());
    if (wake == FollowerGate::Wake::closed) return;
    beat();
    if (wake == FollowerGate::Wake::turn) {
      turn();
      gate_.ended();
    }
  }
}

void SteeredSession::stop() {
  gate_.close();
  if (follower_.joinable()) follower_.join();
  // A volume set just before stop, which the follower had no turn for, is still seeded: the
  // app's next start must not be louder than what the user last chose.
  if (serverUp() && seedPending()) seedBeforeStop();
  teardown();
}

void SteeredSession::teardown() {
  for (const auto& [id, s] : steered_) {
    if (restore(id, s)) {
      forget(s.record);
    } else {
      cleanupFailed_ = true;
    }
  }
  {
    std::lock_guard<std::mutex> guard(steeredMutex_);
    steered_.clear();
  }
  release();
  running_ = false;
}

SteerRecord SteeredSession::newRecord(std::uint32_t node, std::uint64_t serial, std::int32_t pid,
                                      std::uint64_t server) const {
  SteerRecord record;
  record.node = node;
  record.serial = serial;
  record.appPid = pid;
  auto start = pidStarts_.find(pid);
  record.appStart = start != pidStarts_.end() ? start->second : 0;
  record.tap = tapName_;
  record.ownerPid = static_cast<std::int32_t>(::getpid());
  record.ownerStart = processStartTime(record.ownerPid).value_or(0);
  record.server = server;
  return record;
}

SteeredSession::Steered& SteeredSession::track(std::uint32_t id) {
  std::lock_guard<std::mutex> guard(steeredMutex_);
  return steered_[id];
}

void SteeredSession::rewrite(const SteerRecord& record) {
  journal_.update([&](std::vector<SteerRecord>& records) {
    for (auto& r : records)
      if (sameStream(r, record)) r = record;
  });
}

void SteeredSession::forget(const SteerRecord& record) {
  journal_.remove([&](const SteerRecord& r) { return sameStream(r, record); });
}

void SteeredSession::dropWhere(const std::function<bool(std::uint32_t, const Steered&)>& gone) {
  for (auto it = steered_.begin(); it != steered_.end();) {
    if (!gone(it->first, it->second)) {
      ++it;
      continue;
    }
    forget(it->second.record);
    std::lock_guard<std::mutex> guard(steeredMutex_);
    it = steered_.erase(it);
  }
}

bool SteeredSession::letGo(std::uint32_t id) {
  auto it = steered_.find(id);
  if (it == steered_.end()) return false;
  forget(it->second.record);
  std::lock_guard<std::mutex> guard(steeredMutex_);
  steered_.erase(it);
  return true;
}

void SteeredSession::settleRivals(bool yielded) {
  if (yielded && steered_.empty()) lostToRival_ = true;
}

}  // namespace tavuno
