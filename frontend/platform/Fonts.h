// The fonts the windows name, mapped to the fonts installed on Linux: "ＭＳ ゴシック" and
// "MS Gothic" to IPAGothic, "ＭＳ Ｐゴシック" to IPAPGothic, "arial" to Liberation Sans.
#pragma once

#include <QString>

namespace Fonts {

inline const QString kGothic = QStringLiteral("ＭＳ ゴシック");
inline const QString kPGothic = QStringLiteral("ＭＳ Ｐゴシック");
inline const QString kArial = QStringLiteral("arial");

// Installs the substitutions (once per process; later calls do nothing).
void installSubstitutions();

}  // namespace Fonts
