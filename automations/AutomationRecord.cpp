#include "automations/AutomationRecord.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "base/JsonFields.h"

namespace tavuno {

using nlohmann::json;

namespace {

// 2001-01-01 00:00:00 UTC, the origin of stored dates.
constexpr std::chrono::sys_seconds referenceDate{std::chrono::seconds{978307200}};

double secondsSinceReference(WallTime time) {
  return std::chrono::duration<double>(time - referenceDate).count();
}

std::optional<WallTime> fromSecondsSinceReference(double seconds) {
  // A WallTime counts nanoseconds from 1970 in 64 bits, up to about 2262;
  // 8e9 s either side of 2001 (about 1747 to 2254) stays inside it.
  if (!std::isfinite(seconds) || std::fabs(seconds) > 8e9) return std::nullopt;
  auto offset = std::chrono::round<WallTime::duration>(std::chrono::duration<double>(seconds));
  return WallTime(referenceDate) + offset;
}

}  // namespace

json AutomationRecord::toJson() const {
  json value = {{"id", id.text()},
                {"date", secondsSinceReference(date)},
                {"profileName", profileName},
                {"trigger", trigger},
                {"succeeded", succeeded}};
  if (detail) value["detail"] = *detail;
  if (detailKey) value["detailKey"] = *detailKey;
  if (detailCode) value["detailCode"] = *detailCode;
  return value;
}

std::optional<AutomationRecord> AutomationRecord::fromJson(const json& value) {
  JsonFields fields(value);
  AutomationRecord record;
  record.id = fields.uuid("id");
  auto date = fromSecondsSinceReference(fields.number("date"));
  record.profileName = fields.string("profileName");
  record.trigger = fields.string("trigger");
  record.succeeded = fields.boolean("succeeded");
  record.detail = fields.optionalString("detail");
  record.detailKey = fields.optionalString("detailKey");
  auto code = fields.optionalInteger("detailCode");
  if (!fields.ok() || !date) return std::nullopt;
  if (code && (*code < std::numeric_limits<std::int32_t>::min() ||
               *code > std::numeric_limits<std::int32_t>::max()))
    return std::nullopt;
  record.date = *date;
  if (code) record.detailCode = static_cast<std::int32_t>(*code);
  return record;
}

namespace AutomationHistory {

std::vector<AutomationRecord> newest(std::vector<AutomationRecord> records, std::size_t limit) {
  std::stable_sort(
      records.begin(), records.end(),
      [](const AutomationRecord& a, const AutomationRecord& b) { return a.date > b.date; });
  if (records.size() > limit) records.resize(limit);
  return records;
}

}  // namespace AutomationHistory

}  // namespace tavuno
