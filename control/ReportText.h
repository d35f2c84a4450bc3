#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace tavuno::control {

// The reports of StatusReport.h as text for people, in the current
// language. Scripts read the JSON instead: this text may change. A report
// missing fields or holding values of another kind prints what it can.
std::string statusText(const nlohmann::json& status);
std::string profilesText(const nlohmann::json& profiles);

}  // namespace tavuno::control
