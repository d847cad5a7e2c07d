#include "Unit1/DesktopSetup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {
const QString kDesignFamily = QStringLiteral("Tahoma");
}

bool ensureDesignFont(const QString& directory)
{
    if (QFontDatabase::families().contains(kDesignFamily, Qt::CaseInsensitive))
        return true;
    const QDir dir(directory);
    for (const QString& file : dir.entryList({ QStringLiteral("tahoma*.ttf") }, QDir::Files, QDir::Name))
        QFontDatabase::addApplicationFont(dir.filePath(file));
    return QFontDatabase::families().contains(kDesignFamily, Qt::CaseInsensitive);
}

int installQtTranslations(const QLocale& locale, const QString& directory)
{
    const QString path = directory.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : directory;
    // "qtbase" holds the texts of the widgets, dialogs and standard buttons.
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), path)) {
        delete translator;
        return 0;
    }
    QCoreApplication::installTranslator(translator);
    return 1;
}
