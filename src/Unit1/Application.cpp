#include "Unit1/Application.h"

#include "Unit1/DesktopSetup.h"
#include "Unit1/StatGrid.h"
#include "Unit1/TForm1.h"
#include "Unit1/WidgetDialogs.h"
#include "Unit1/WindowStateKeeper.h"
#include "export/UnattendedRun.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>
#include <QSettings>
#include <QTabWidget>
#include <cstdio>
#include <string>
#include <vector>

void setUpApplication()
{
    Q_INIT_RESOURCE(velmar);
    QApplication::setApplicationName(QStringLiteral("velmar-stat"));
    QApplication::setApplicationVersion(QStringLiteral(VELMAR_VERSION));
    // Lets a Wayland desktop match the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("velmar-stat"));
    // The icon at every size the desktop may ask for, drawn ahead, so it is sharp on any screen and needs
    // no image plug-in for the scalable one that the menu entry uses.
    QIcon icon;
    for (int size : { 16, 24, 32, 48, 64, 128, 256 })
        icon.addFile(QStringLiteral(":/icons/velmar-stat-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
}

int runApplication(int argc, char** argv)
{
    // The command line carries only the export switches and their file names: it reaches ComLine exactly as
    // the process received it. The toolkit would take its own options ("-reverse", "-platform NAME", ...)
    // out of it and act on them, so it is given the program name alone. (It keeps the count it is given by
    // reference for ever after, hence a variable that lives as long as the application.)
    velmar::setUpFromEnvironment(stderr);
    std::vector<std::string> params;
    for (int i = 1; i < argc; ++i)
        params.emplace_back(argv[i]);
    int toolkitArgc = argc > 0 ? 1 : 0;

    QApplication app(toolkitArgc, argv);
    setUpApplication();
    installQtTranslations(QLocale::system());
    ensureDesignFont();

    WidgetDialogs dialogs;
    TForm1 form(dialogs, std::move(params));
    // After "-e" the program ends once start-up is over; its messages went to standard error.
    if (form.endRequested()) {
        form.removeOwnLogCopy();
        return form.messageCount() == 0 ? 0 : 1;
    }
    // Size, position, page and column widths of the last run, kept in the user's configuration location.
    QSettings kept(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("velmar-stat"), QStringLiteral("window"));
    WindowStateKeeper keeper(form, *form.PageC, { form.Str, form.StrFull }, kept);
    keeper.restore();
    form.show();
    const int status = QApplication::exec();
    keeper.save();
    return status;
}
