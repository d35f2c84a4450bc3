#include "system/GlobalShortcutRegistering.h"

#include "base/text/TavunoLanguage.h"

namespace tavuno {

SystemError shortcutRegistrationError(std::int32_t status) {
  return SystemError{
      status, trf("O atalho não pôde ser registrado (erro %d); ele pode estar em uso.", status)};
}

}  // namespace tavuno
