#include "Unit1/Texts.h"

#include "platform/CodePage.h"
#include "platform/Errors.h"

#include <QFile>
#include <QTextDocument>

QString fromCodePage(std::string_view bytes)
{
    const velmar::CodePage& page = velmar::CodePage::current();
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (char c : bytes) {
        const char32_t ch = page.toUnicode(static_cast<unsigned char>(c));
        if (ch < 0x10000)
            text += QChar(static_cast<char16_t>(ch));
        else
            text += QString::fromUcs4(&ch, 1);
    }
    return text;
}

std::string toCodePage(const QString& text)
{
    const velmar::CodePage& page = velmar::CodePage::current();
    std::string bytes;
    bytes.reserve(static_cast<size_t>(text.size()));
    for (char32_t ch : text.toUcs4())
        bytes += static_cast<char>(page.fromUnicode(ch));
    return bytes;
}

std::string toCodePageExactly(const QString& text)
{
    const velmar::CodePage& page = velmar::CodePage::current();
    std::string bytes = toCodePage(text);
    for (char32_t ch : text.toUcs4()) {
        if (ch != U'?' && page.fromUnicode(ch) == '?')
            throw velmar::CodePageError(bytes, ch, page.name());
    }
    return bytes;
}

QString plainToolTip(const QString& text)
{
    // A hint is read as markup when it looks like some; such a text is escaped so it shows letter for letter.
    if (!Qt::mightBeRichText(text))
        return text;
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

std::string toNativePath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString fromNativePath(std::string_view path)
{
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}
