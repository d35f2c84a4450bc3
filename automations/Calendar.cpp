#include "automations/Calendar.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include <date/tz.h>

#include "base/text/TavunoLanguage.h"

namespace tavuno {

namespace {

using std::chrono::floor;
using std::chrono::seconds;

// Far enough inside the nanosecond range of a WallTime that a day or two of
// arithmetic either side never overflows.
bool inRange(WallTime time) {
  return time.time_since_epoch() > -Calendar::reach && time.time_since_epoch() < Calendar::reach;
}

// The zone name a $TZ value gives: the name itself, or the part of a zone
// file's path after "zoneinfo/" once symbolic links are followed (so
// ":/etc/localtime" is the system's zone). Empty when it names none.
std::string zoneNameOf(std::string_view tz) {
  if (tz.starts_with(':')) tz.remove_prefix(1);
  if (!tz.starts_with('/')) return std::string(tz);
  std::error_code error;
  std::string path = std::filesystem::canonical(std::filesystem::path(tz), error).generic_string();
  if (error) path = std::string(tz);
  constexpr std::string_view tree = "zoneinfo/";
  const auto at = path.find(tree);
  if (at == std::string::npos) return {};
  std::string name = path.substr(at + tree.size());
  if (name.starts_with("posix/")) name.erase(0, std::string_view("posix/").size());
  return name;
}

// Daily rules would fire at unexpected hours: worth one line, but not one
// every refresh.
Calendar utcInstead(const std::string& source) {
  static std::atomic<bool> told{false};
  if (!told.exchange(true))
    std::cerr << trf("Fuso horário desconhecido (%@). Os horários das automações seguem o UTC.",
                     source)
              << std::endl;
  return Calendar();
}

}  // namespace

std::optional<Calendar> Calendar::named(std::string_view name) {
  try {
    return Calendar(date::locate_zone(name));
  } catch (...) {
    return std::nullopt;
  }
}

Calendar Calendar::current() {
  if (const char* tz = std::getenv("TZ")) {
    if (*tz == '\0') return Calendar();  // the C library's reading too
    if (auto zone = named(zoneNameOf(tz))) return *zone;
    return utcInstead(std::string("TZ=") + tz);
  }
  try {
    return Calendar(date::current_zone());
  } catch (...) {
    return utcInstead("/etc/localtime");
  }
}

std::string Calendar::zoneName() const {
  return zone_ ? std::string(zone_->name()) : std::string("UTC");
}

std::optional<WallTime> Calendar::minuteStart(WallTime time) const {
  if (!inRange(time)) return std::nullopt;
  try {
    auto whole = floor<seconds>(time);
    auto offset = zone_ ? zone_->get_info(whole).offset : seconds{0};
    auto local = whole.time_since_epoch() + offset;
    auto intoMinute = local - floor<std::chrono::minutes>(local);
    return WallTime(whole - intoMinute);
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<CalendarDay> Calendar::day(WallTime time) const {
  if (!inRange(time)) return std::nullopt;
  try {
    auto whole = floor<seconds>(time);
    auto offset = zone_ ? zone_->get_info(whole).offset : seconds{0};
    auto localDay = date::floor<date::days>(date::local_seconds{whole.time_since_epoch() + offset});
    date::year_month_day ymd{localDay};
    int year = static_cast<int>(ymd.year());
    return CalendarDay{year > 0 ? 1 : 0, year > 0 ? year : 1 - year,
                       static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day())};
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<WallTime> Calendar::latestOccurrence(std::int64_t hour, std::int64_t minute,
                                                   WallTime before) const {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || !inRange(before)) return std::nullopt;
  try {
    auto whole = floor<seconds>(before);
    auto offset = zone_ ? zone_->get_info(whole).offset : seconds{0};
    auto today = date::floor<date::days>(date::local_seconds{whole.time_since_epoch() + offset});
    // Starts a day ahead: where clocks go back across midnight, tomorrow's
    // early times can already have passed while the clock reads today.
    // A week back is far beyond any run of days missing one local time.
    for (int back = -1; back <= 7; ++back) {
      date::local_seconds local =
          today - date::days{back} + std::chrono::hours{hour} + std::chrono::minutes{minute};
      date::sys_seconds instant;
      if (!zone_) {
        instant = date::sys_seconds{local.time_since_epoch()};
      } else {
        auto info = zone_->get_info(local);
        if (info.result == date::local_info::nonexistent) continue;
        // For a repeated time `first` is the earlier of the two.
        instant = date::sys_seconds{local.time_since_epoch() - info.first.offset};
      }
      if (WallTime(instant) < before) return WallTime(instant);
    }
    return std::nullopt;
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace tavuno
