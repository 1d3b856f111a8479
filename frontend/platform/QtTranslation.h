// Qt's own texts (the buttons of message boxes, the file dialogs) in Japanese, the language of
// every other text of the windows, whatever the system's locale.
#pragma once

#include <QString>
#include <QTranslator>
#include <memory>

namespace QtTranslation {

// Loads Qt's Japanese translation (qtbase_ja) from folder, by default Qt's translations folder,
// and installs it in the application. Keep the translator while the windows live: destroying it
// takes the translation out again. nullptr when the translation is missing: Qt's texts stay as
// they are.
std::unique_ptr<QTranslator> installJapanese(const QString& folder = QString());

}  // namespace QtTranslation
