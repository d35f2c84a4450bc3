#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace tavuno {

// A list of callbacks told which field of an observed object changed.
// Subscriptions end when their handle is destroyed. Main thread only.
template <class Field>
class Observers {
 public:
  using Callback = std::function<void(Field)>;

  class Subscription {
   public:
    Subscription() = default;
    Subscription(std::weak_ptr<std::map<std::uint64_t, Callback>> list, std::uint64_t id)
        : list_(std::move(list)), id_(id) {}
    Subscription(Subscription&& other) noexcept { *this = std::move(other); }
    Subscription& operator=(Subscription&& other) noexcept {
      reset();
      list_ = std::move(other.list_);
      id_ = other.id_;
      other.list_.reset();
      return *this;
    }
    ~Subscription() { reset(); }
    void reset() {
      if (auto list = list_.lock()) list->erase(id_);
      list_.reset();
    }

   private:
    std::weak_ptr<std::map<std::uint64_t, Callback>> list_;
    std::uint64_t id_ = 0;
  };

  [[nodiscard]] Subscription subscribe(Callback callback) {
    auto id = nextId_++;
    callbacks_->emplace(id, std::move(callback));
    return Subscription(callbacks_, id);
  }

  void notify(Field field) const {
    // A copy, so a callback may subscribe or unsubscribe while being told.
    auto snapshot = *callbacks_;
    for (const auto& [id, callback] : snapshot)
      if (callbacks_->count(id)) callback(field);
  }

 private:
  std::shared_ptr<std::map<std::uint64_t, Callback>> callbacks_ =
      std::make_shared<std::map<std::uint64_t, Callback>>();
  std::uint64_t nextId_ = 1;
};

}  // namespace tavuno
