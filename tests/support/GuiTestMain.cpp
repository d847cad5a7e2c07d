// The main of every GUI test: a headless QApplication under fixed locale settings, then the tests.
#include "platform/Locale.h"

#include <QApplication>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale::c());
    // Nothing a test does may reach the user's own configuration location.
    const QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    velmar::setCurrentLocale(velmar::LocaleFormat { '.', ':' });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
