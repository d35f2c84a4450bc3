#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tavuno {

using Bytes = std::vector<std::uint8_t>;
using StringMap = std::map<std::string, std::string>;

// One stored setting. A value keeps the kind it was written with: reading a
// key as another kind gives nothing.
using DefaultsValue = std::variant<std::string, bool, std::int64_t, double, Bytes, StringMap>;

// Typed key/value settings (the user's defaults).
class DefaultsStore {
 public:
  virtual ~DefaultsStore() = default;

  virtual std::optional<DefaultsValue> value(const std::string& key) const = 0;
  virtual void set(const std::string& key, DefaultsValue value) = 0;
  virtual void remove(const std::string& key) = 0;

  bool contains(const std::string& key) const { return value(key).has_value(); }
  std::optional<std::string> string(const std::string& key) const { return as<std::string>(key); }
  std::optional<bool> boolean(const std::string& key) const { return as<bool>(key); }
  std::optional<std::int64_t> integer(const std::string& key) const {
    return as<std::int64_t>(key);
  }
  std::optional<double> real(const std::string& key) const { return as<double>(key); }
  std::optional<Bytes> data(const std::string& key) const { return as<Bytes>(key); }
  std::optional<StringMap> dictionary(const std::string& key) const { return as<StringMap>(key); }

 private:
  template <class T>
  std::optional<T> as(const std::string& key) const {
    auto stored = value(key);
    if (!stored) return std::nullopt;
    if (auto* typed = std::get_if<T>(&*stored)) return std::move(*typed);
    return std::nullopt;
  }
};

// Settings held in memory only: the tests' store.
class InMemoryDefaultsStore : public DefaultsStore {
 public:
  std::optional<DefaultsValue> value(const std::string& key) const override {
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
  }
  void set(const std::string& key, DefaultsValue value) override {
    values_[key] = std::move(value);
  }
  void remove(const std::string& key) override { values_.erase(key); }
  const std::map<std::string, DefaultsValue>& all() const { return values_; }

 private:
  std::map<std::string, DefaultsValue> values_;
};

}  // namespace tavuno
