#include "shell/app/QtTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace lirvo::app {

bool InstallChineseQtTexts() {
    // "qt_zh_CN" gathers the catalogues of Qt's modules (qtbase, qtdeclarative, …).
    auto *texts = new QTranslator(QCoreApplication::instance());
    if (!texts->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qt"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete texts;
        return false;
    }
    return QCoreApplication::installTranslator(texts);
}

} // namespace lirvo::app
