#include "QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace QtTranslation {

std::unique_ptr<QTranslator> installJapanese(const QString& folder) {
  auto translator = std::make_unique<QTranslator>();
  const QString from =
      folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
  if (!translator->load(QStringLiteral("qtbase_ja"), from)) return nullptr;
  if (!QCoreApplication::installTranslator(translator.get())) return nullptr;
  return translator;
}

}  // namespace QtTranslation
