#include "Fonts.h"

#include <QFont>

namespace Fonts {

void installSubstitutions() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QFont::insertSubstitution(kGothic, QStringLiteral("IPAGothic"));
  QFont::insertSubstitution(QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"));
  QFont::insertSubstitution(kPGothic, QStringLiteral("IPAPGothic"));
  QFont::insertSubstitution(QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"));
  QFont::insertSubstitution(kArial, QStringLiteral("Liberation Sans"));
  QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
}

}  // namespace Fonts
