#include "engine/sessions/SessionFailure.h"

#include "base/text/TavunoLanguage.h"

namespace tavuno {

std::string SessionFailure::errorDescription() const {
  if (kind_ == Kind::unsupported) return text_;
  return TavunoLanguage::text(text_) + ": " + server_ + " " + std::to_string(status_);
}

}  // namespace tavuno
