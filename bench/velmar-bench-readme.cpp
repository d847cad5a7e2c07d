// Times the Info page: starts the window in a start directory (offscreen, no display needed), then shows
// the Info page, which reads the readme of the language file, and prints the seconds until the page is
// drawn, how much of the readme it shows and the peak resident memory. Nobody's test runs it.

#include "BenchSupport.h"
#include "Unit1/Application.h"
#include "Unit1/ConsoleDialogs.h"
#include "Unit1/TForm1.h"
#include "platform/CodePage.h"
#include "platform/Locale.h"

#include <QApplication>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || ::chdir(argv[1]) != 0) {
        std::fprintf(stderr,
            "usage: velmar-bench-readme START-DIR\n"
            "Starts the window in START-DIR and prints the seconds until the Info page,\n"
            "with the readme of the applied language, is shown.\n");
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler(quietHandler);
    velmar::setCurrentLocale(velmar::localeFromEnvironment());
    velmar::CodePage::selectFromEnvironment();
    int toolkitArgc = 1;
    QApplication app(toolkitArgc, argv);
    setUpApplication();

    const bench::Clock::time_point startUp = bench::Clock::now();
    ConsoleDialogs dialogs;
    TForm1 form(dialogs);
    form.show();
    QCoreApplication::processEvents();
    const double startUpSeconds = bench::secondsSince(startUp);

    const bench::Clock::time_point shown = bench::Clock::now();
    form.PageC->setCurrentIndex(TForm1::kInfoPage);
    QCoreApplication::processEvents();
    const QPixmap picture = form.Memo1->viewport()->grab();
    const double infoSeconds = bench::secondsSince(shown);

    std::printf("start-up to the window drawn:     %.4f s\n", startUpSeconds);
    std::printf("Info page shown with its readme:  %.4f s (%lld characters%s)\n", infoSeconds,
        static_cast<long long>(form.Memo1->toPlainText().size()), picture.isNull() ? ", not drawn" : "");
    std::printf("peak RSS: %ld kB\n", bench::peakRssKb());
    return 0;
}
