#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

#include "platform/linux/Snapshot.h"

namespace tavuno {

// Where the mirror publishes its snapshots and everyone else reads them.
// Thread-safe; its lock is held only to copy a pointer or call the
// publication listeners, never while anything waits on the server.
class SnapshotHub {
 public:
  using Token = std::uint64_t;

  SnapshotHub();

  // The latest snapshot; never null (an empty, unconnected one at first).
  SnapshotRef snapshot() const;
  // Stores `next`, then calls every listener on the publishing thread.
  void publish(SnapshotRef next);
  std::uint64_t publications() const;

  // `onPublish` runs on the publishing thread after each publication and
  // must only hand the news on (post to a queue). Once unlisten() returns,
  // the listener is not running and is never called again.
  Token listen(std::function<void()> onPublish);
  void unlisten(Token token);

  // Blocks until a published snapshot satisfies `condition` or `seconds`
  // pass; whether it did.
  bool waitFor(const std::function<bool(const Snapshot&)>& condition, double seconds) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable published_;
  SnapshotRef latest_;
  std::uint64_t publications_ = 0;

  std::mutex listenersMutex_;  // held while listeners run
  std::map<Token, std::function<void()>> listeners_;
  Token nextToken_ = 1;
};

}  // namespace tavuno
