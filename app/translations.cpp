#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace Translations {

bool Install(QCoreApplication *app) {
    // Owned by the application, so it lives as long as the texts it translates.
    auto *translator = new QTranslator(app);
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    if (!translator->load(russian, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace Translations
