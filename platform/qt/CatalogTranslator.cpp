#include "platform/qt/CatalogTranslator.h"

#include "base/text/TavunoLanguage.h"

namespace tavuno {

QString CatalogTranslator::translate(const char* /*context*/, const char* sourceText,
                                     const char* /*disambiguation*/, int /*n*/) const {
  if (sourceText == nullptr || *sourceText == '\0') return {};
  auto environment = TavunoLanguage::installed();
  if (!environment || !environment->lookup) return {};
  auto text = environment->lookup(TavunoLanguage::current(), sourceText);
  return text ? QString::fromStdString(*text) : QString();
}

}  // namespace tavuno
