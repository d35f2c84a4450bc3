#pragma once

#include <string>

#include <QString>

#include "ui/model/RelativeTime.h"

namespace tavuno::ui {

// How long ago, in words of `language` ("pt" or "en"), through ICU's
// relative date formatter: "há 5 minutos", "5 minutes ago", "agora".
QString relativeTimeText(const RelativeSpan& span, const std::string& language);

}  // namespace tavuno::ui
