#include "Unit1/ConsoleDialogs.h"

#include <cstdio>

void writeErrorLine(const QString& text)
{
    const QByteArray line = QStringLiteral("Error: %1\n").arg(text).toLocal8Bit();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

void ConsoleDialogs::showError(QWidget*, const QString& text)
{
    writeErrorLine(text);
}

std::optional<QString> ConsoleDialogs::openFile(QWidget*, const QString&, const QString&)
{
    return std::nullopt;
}

std::optional<QString> ConsoleDialogs::saveFile(
    QWidget*, const QString&, const QString&, const QString&, const QString&)
{
    return std::nullopt;
}
