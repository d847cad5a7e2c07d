#include "Unit1/Application.h"

#include "Unit1/ConsoleDialogs.h"
#include "Unit1/DesktopSetup.h"
#include "Unit1/StatGrid.h"
#include "Unit1/TForm1.h"
#include "Unit1/WidgetDialogs.h"
#include "Unit1/WindowStateKeeper.h"
#include "platform/CodePage.h"
#include "platform/Locale.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>
#include <QSettings>
#include <QTabWidget>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

// In a run without a screen the only output besides the exports is "Error: <text>" lines; Qt's own
// remarks about the missing desktop (runtime directory, window hints) would only confuse a cron mail.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        const QByteArray text = message.toLocal8Bit();
        std::fprintf(stderr, "%s\n", text.constData());
    }
}

bool hasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

} // namespace

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
    // A run from cron has no display: work on the offscreen platform instead of failing to start.
    if (!hasDisplay() && !std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    velmar::setCurrentLocale(velmar::localeFromEnvironment());
    const bool knownCodePage = velmar::CodePage::selectFromEnvironment();

    // The command line carries only the export switches and their file names: it reaches ComLine exactly as
    // the process received it. The toolkit would take its own options ("-reverse", "-platform NAME", ...)
    // out of it and act on them, so it is given the program name alone. (It keeps the count it is given by
    // reference for ever after, hence a variable that lives as long as the application.)
    std::vector<std::string> params;
    for (int i = 1; i < argc; ++i)
        params.emplace_back(argv[i]);
    int toolkitArgc = argc > 0 ? 1 : 0;

    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && std::string_view(platform) == "offscreen")
        qInstallMessageHandler(quietHandler);
    QApplication app(toolkitArgc, argv);
    setUpApplication();
    installQtTranslations(QLocale::system());
    ensureDesignFont();

    if (!knownCodePage) {
        std::fprintf(stderr, "velmar-stat: unknown code page in VELMAR_CODEPAGE (%s); using windows-1251\n",
            std::getenv("VELMAR_CODEPAGE"));
    }

    // Without a screen nobody can answer a box: messages go to standard error and the run ends after start-up.
    const bool unattended = QGuiApplication::platformName() == QLatin1String("offscreen");
    WidgetDialogs widgets;
    ConsoleDialogs console;
    UserDialogs& dialogs = unattended ? static_cast<UserDialogs&>(console) : static_cast<UserDialogs&>(widgets);

    TForm1 form(dialogs, std::move(params));
    if (unattended || form.endRequested()) {
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
