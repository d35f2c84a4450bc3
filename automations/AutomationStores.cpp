#include "automations/AutomationStores.h"

#include <nlohmann/json.hpp>

#include "base/JsonFields.h"
#include "base/StoredBackup.h"

namespace tavuno {

using nlohmann::json;

namespace {

// Whether the kind keeps only part of a list.
template <class Record>
concept Trimmed = requires(std::vector<Record> records) {
  RecordKind<Record>::kept(std::move(records));
};

template <class Record>
void encodeInto(DefaultsStore& defaults, const std::vector<Record>& records) {
  json array = json::array();
  for (const auto& element : records)
    array.push_back(element.toJson());
  if (auto bytes = dumpJson(array)) defaults.set(RecordKind<Record>::key, std::move(*bytes));
}

}  // namespace

// Each element that can be read, in order. When any cannot (or the stored
// value is not a JSON array, or not data at all), the stored value is first
// kept, unchanged, under the backup key: the next save of the list holds only
// the readable elements, the backup stays.
template <class Record>
StoredList<Record> RecordStore<Record>::loadState() const {
  auto stored = defaults_.value(RecordKind<Record>::key);
  if (!stored) return {};
  StoredList<Record> result;
  const auto* bytes = std::get_if<Bytes>(&*stored);
  auto value = bytes ? parseJson(*bytes) : std::nullopt;
  if (value && value->is_array()) {
    result.elements.reserve(value->size());
    for (const auto& element : *value) {
      if (auto decoded = Record::fromJson(element))
        result.elements.push_back(std::move(*decoded));
      else
        ++result.unreadable;
    }
  } else {
    result.unreadable = 1;
  }
  if (result.unreadable > 0)
    keepUnreadable(std::move(*stored), RecordKind<Record>::backupKey, defaults_);
  if constexpr (Trimmed<Record>)
    result.elements = RecordKind<Record>::kept(std::move(result.elements));
  return result;
}

template <class Record>
void RecordStore<Record>::save(const std::vector<Record>& records) const {
  if constexpr (Trimmed<Record>)
    encodeInto(defaults_, RecordKind<Record>::kept(records));
  else
    encodeInto(defaults_, records);
}

template class RecordStore<ConnectionRule>;
template class RecordStore<AppLaunchRule>;
template class RecordStore<ScheduledRule>;
template class RecordStore<AutomationRecord>;

StringMap ScheduleLastFiredStore::load() const {
  return defaults_.dictionary(key::scheduleLastFired).value_or(StringMap{});
}

void ScheduleLastFiredStore::save(const StringMap& lastFired) const {
  defaults_.set(key::scheduleLastFired, lastFired);
}

}  // namespace tavuno
