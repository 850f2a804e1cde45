#include "seams/QtChinese.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace QtChinese {

bool install() {
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    // The calendar and the pickers name months and days by the locale.
    QLocale::setDefault(chinese);
    static QTranslator *installed = nullptr;
    if (installed)
        return true;
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

} // namespace QtChinese
