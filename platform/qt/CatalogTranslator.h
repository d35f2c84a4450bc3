#pragma once

#include <QTranslator>

namespace tavuno {

// Qt's side of the one catalogue: QObject::tr() and Qt's own lookups reach
// the catalogue of base/text in the current language. A text the catalogue
// does not hold is answered with nothing, so Qt falls back to the next
// translator and then to the Portuguese key itself.
class CatalogTranslator final : public QTranslator {
  Q_OBJECT

 public:
  using QTranslator::QTranslator;

  QString translate(const char* context, const char* sourceText, const char* disambiguation,
                    int n) const override;
  // installTranslator() ignores a translator that says it is empty.
  bool isEmpty() const override { return false; }
};

}  // namespace tavuno
