#include "Unit1/ReadmePage.h"

#include "Unit1/Texts.h"
#include "settings/Language.h"

#include <QPlainTextEdit>
#include <QTabWidget>

namespace {

// The part of the text the page shows: at most `mostLines` lines, every line longer than `longest`
// characters broken after each `longest` characters. The text view takes minutes over a line of a
// megabyte or a million empty lines, and a moment over the same bytes in fewer, shorter lines. `cut` is
// set when lines were left out.
QString shownPart(const QString& text, qsizetype longest, qsizetype mostLines, bool& cut)
{
    QString shown;
    shown.reserve(text.size() + text.size() / longest + 1);
    qsizetype lines = 1;
    qsizetype lineLength = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool lineEnd = c == QLatin1Char('\n');
        if (lineEnd || lineLength == longest) {
            // Another line follows: after this line end, or before this character of a line too long.
            if (lines == mostLines && !(lineEnd && i + 1 == text.size())) {
                cut = true;
                break;
            }
            ++lines;
            lineLength = 0;
            if (!lineEnd)
                shown += QLatin1Char('\n');
        }
        shown += c;
        if (!lineEnd)
            ++lineLength;
    }
    return shown;
}

} // namespace

ReadmePage::ReadmePage(QTabWidget* pages, QWidget* page, QPlainTextEdit* memo)
    : pages_(pages)
    , page_(page)
    , memo_(memo)
{
}

void ReadmePage::setSource(std::string path, std::string name)
{
    path_ = std::move(path);
    name_ = std::move(name);
    loaded_ = false;
    loadIfShown();
}

void ReadmePage::loadIfShown()
{
    if (loaded_ || pages_->currentWidget() != page_)
        return;
    const velmar::ReadmeText readme = velmar::loadReadmeStart(path_, kMostShown, name_);
    QString text = fromCodePage(readme.text);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    bool cut = readme.cut;
    text = shownPart(text, kLongestLine, kMostLines, cut);
    if (cut) {
        text += QStringLiteral("\n\n[Only the start of the readme is shown here, at most %1 MB and %2 lines. "
                               "The whole text is in %3.]")
                    .arg(kMostShown >> 20)
                    .arg(kMostLines)
                    .arg(fromNativePath(path_));
    }
    memo_->setPlainText(text);
    loaded_ = true;
}
