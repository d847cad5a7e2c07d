#include "Unit1/ReadmePage.h"

#include "Unit1/Texts.h"
#include "settings/Language.h"

#include <QPlainTextEdit>
#include <QTabWidget>

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
    if (readme.cut) {
        text += QStringLiteral("\n\n[The readme is longer than %1 MB; only its first %1 MB are shown here. "
                               "The whole text is in %2.]")
                    .arg(kMostShown >> 20)
                    .arg(fromNativePath(path_));
    }
    memo_->setPlainText(text);
    loaded_ = true;
}
