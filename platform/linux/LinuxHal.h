#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "base/ports/MainQueue.h"
#include "hal/Hal.h"
#include "platform/linux/ServerWriter.h"
#include "platform/linux/SnapshotHub.h"

namespace tavuno {

// The Hal on a Linux audio server. Reads come from the mirror's latest
// snapshot as the main thread last took it over, so one main-queue item sees
// one snapshot throughout and reads never wait on the server. Listeners run
// on the main queue, after the snapshot that changed their address has been
// taken over. Writes are checked against that view, answered at once and
// read back at once (an overlay holds them until a snapshot carries them);
// they are sent once per main-queue turn, resent twice when refused or not
// seen within writeTimeout, and then dropped: the listeners of the address
// run and the deferred-failure handler is told. Main thread only.
class LinuxHal : public Hal {
 public:
  static constexpr double writeTimeout = 0.5;
  static constexpr int maxResends = 2;

  LinuxHal(MainQueue& main, SnapshotHub& hub, ServerWriter& writer);
  ~LinuxHal() override;

  LinuxHal(const LinuxHal&) = delete;
  LinuxHal& operator=(const LinuxHal&) = delete;

  OSStatus getPropertyDataSize(AudioObjectID object, const PropertyAddress& address,
                               std::uint32_t& outSize) override;
  OSStatus getPropertyData(AudioObjectID object, const PropertyAddress& address,
                           std::uint32_t& ioSize, void* outData) override;
  OSStatus setPropertyData(AudioObjectID object, const PropertyAddress& address, std::uint32_t size,
                           const void* data) override;
  bool hasProperty(AudioObjectID object, const PropertyAddress& address) override;
  OSStatus isPropertySettable(AudioObjectID object, const PropertyAddress& address,
                              bool& outSettable) override;
  OSStatus addPropertyListener(AudioObjectID object, const PropertyAddress& address,
                               PropertyListener listener, ListenerToken& outToken) override;
  OSStatus removePropertyListener(AudioObjectID object, const PropertyAddress& address,
                                  ListenerToken token) override;

  // Told, on the main queue, of a write that did not reach the server in the
  // end (after its resends), with 'what'.
  void setDeferredWriteFailureHandler(DeferredWriteFailureHandler handler) override {
    failureHandler_ = std::move(handler);
  }

  // Takes over the hub's latest snapshot now (normally a posted task does).
  void takeLatestSnapshot();
  const Snapshot& view() const { return *view_; }
  // Writes not yet carried by a snapshot.
  std::size_t pendingWrites() const { return overlay_.size(); }

 private:
  struct PendingWrite {
    std::vector<std::uint8_t> value;
    std::uint64_t order = 0;    // write order, for defaults and mute
    int sends = 0;              // requests made for this value
    bool queued = true;         // waits for the next flush
    std::uint64_t request = 0;  // the latest request that carried it
    double deadline = 0;        // when that request counts as lost
  };
  struct Registration {
    ListenerToken token;
    std::shared_ptr<PropertyListener> listener;
  };

  const PropertyValue* viewValue(AudioObjectID object, const PropertyAddress& address) const;
  OSStatus lookup(AudioObjectID object, const PropertyAddress& address,
                  const std::vector<std::uint8_t>*& outData) const;
  bool carried(const PropertyKey& key, const PendingWrite& write) const;
  void scheduleFlush();
  void flush();
  void send(std::vector<PropertyKey> keys, const std::function<void(ServerWriter::Done)>& request);
  void onReply(const std::vector<PropertyKey>& keys, std::uint64_t request, bool accepted);
  void checkDeadlines();
  void retryOrFail(const PropertyKey& key);
  void notify(const std::vector<PropertyKey>& keys);

  MainQueue& main_;
  SnapshotHub& hub_;
  ServerWriter& writer_;
  SnapshotHub::Token hubToken_ = 0;
  std::atomic<bool> takeOverPosted_{false};
  // Posted tasks and replies hold this weakly: they do nothing once the Hal
  // is gone.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);

  SnapshotRef view_;
  std::map<PropertyKey, PendingWrite> overlay_;
  std::uint64_t nextOrder_ = 1;
  std::uint64_t nextRequest_ = 1;
  bool flushPosted_ = false;
  bool deadlineCheckPosted_ = false;
  DeferredWriteFailureHandler failureHandler_;

  std::map<PropertyKey, std::vector<Registration>> listeners_;
  ListenerToken nextToken_ = 1;
};

}  // namespace tavuno
