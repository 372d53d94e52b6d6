#include "corvane/foundation/messages.h"

#include "corvane/host/locale.h"

namespace corvane {

bool ThreadWantsPortuguese() {
  const std::string name = ThreadLanguageName();
  return name.size() >= 2 && (name[0] == 'p' || name[0] == 'P') &&
         (name[1] == 't' || name[1] == 'T');
}

std::string GetLocaleString(int Id) {
  const int id = ThreadWantsPortuguese() ? Id + 1 : Id;
  return std::string(CatalogueText(id));
}

}  // namespace corvane
