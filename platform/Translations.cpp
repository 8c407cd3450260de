#include "platform/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QtDebug>

namespace platform {

QTranslator* InstallToolkitTranslations(QCoreApplication& app) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_es"), folder) ||
        !QCoreApplication::installTranslator(translator)) {
        qWarning().noquote() << QStringLiteral("No se encuentran las traducciones de Qt al español (qtbase_es) en %1")
                                    .arg(folder);
        delete translator;
        return nullptr;
    }
    return translator;
}

}  // namespace platform
