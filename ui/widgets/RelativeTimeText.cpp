#include "ui/widgets/RelativeTimeText.h"

#include <map>
#include <memory>

#include <unicode/reldatefmt.h>
#include <unicode/unistr.h>

namespace tavuno::ui {

namespace {

// One formatter per language, made when first needed (making one loads
// ICU's data, which costs far more than formatting). Main thread only.
const icu::RelativeDateTimeFormatter* formatter(const std::string& language) {
  static std::map<std::string, std::unique_ptr<icu::RelativeDateTimeFormatter>> made;
  auto it = made.find(language);
  if (it != made.end()) return it->second.get();
  UErrorCode status = U_ZERO_ERROR;
  const icu::Locale locale = language == "pt" ? icu::Locale("pt", "BR") : icu::Locale("en", "US");
  auto fresh = std::make_unique<icu::RelativeDateTimeFormatter>(
      locale, nullptr, UDAT_STYLE_LONG, UDISPCTX_CAPITALIZATION_NONE, status);
  if (U_FAILURE(status)) fresh.reset();
  return made.emplace(language, std::move(fresh)).first->second.get();
}

URelativeDateTimeUnit unitOf(RelativeUnit unit) {
  switch (unit) {
    case RelativeUnit::minutes:
      return UDAT_REL_UNIT_MINUTE;
    case RelativeUnit::hours:
      return UDAT_REL_UNIT_HOUR;
    case RelativeUnit::days:
      return UDAT_REL_UNIT_DAY;
    case RelativeUnit::weeks:
      return UDAT_REL_UNIT_WEEK;
    case RelativeUnit::months:
      return UDAT_REL_UNIT_MONTH;
    case RelativeUnit::years:
      return UDAT_REL_UNIT_YEAR;
    case RelativeUnit::now:
      break;
  }
  return UDAT_REL_UNIT_SECOND;
}

QString toQString(const icu::UnicodeString& text) {
  return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

}  // namespace

QString relativeTimeText(const RelativeSpan& span, const std::string& language) {
  const auto* format = formatter(language);
  if (!format) return {};
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString text;
  if (span.unit == RelativeUnit::now)
    format->format(UDAT_DIRECTION_PLAIN, UDAT_ABSOLUTE_NOW, text, status);
  else
    format->formatNumeric(-static_cast<double>(span.count), unitOf(span.unit), text, status);
  return U_FAILURE(status) ? QString() : toQString(text);
}

}  // namespace tavuno::ui
