#pragma once

#include "Unit1/UserDialogs.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <ostream>

/// Lets gtest print Qt texts readably.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

/// Stands in for the user: records every message and answers the file dialogs from a queue
/// (an empty queue answers as a user who cancels). Never blocks.
class RecordingDialogs : public UserDialogs {
public:
    void showError(QWidget*, const QString& text) override { messages.append(text); }

    std::optional<QString> openFile(QWidget*, const QString& title, const QString& filter) override
    {
        lastTitle = title;
        lastFilter = filter;
        return next();
    }

    std::optional<QString> saveFile(QWidget*, const QString& title, const QString& filter, const QString& defaultSuffix,
        const QString& suggested) override
    {
        lastTitle = title;
        lastFilter = filter;
        lastSuffix = defaultSuffix;
        lastSuggested = suggested;
        return next();
    }

    QStringList messages;
    std::deque<std::optional<QString>> answers;
    QString lastTitle, lastFilter, lastSuffix, lastSuggested;

private:
    std::optional<QString> next()
    {
        if (answers.empty())
            return std::nullopt;
        // Taken apart rather than copied whole: GCC's optimiser thinks a copied optional may be unset.
        const bool chosen = answers.front().has_value();
        const QString name = chosen ? *answers.front() : QString();
        answers.pop_front();
        if (!chosen)
            return std::nullopt;
        return name;
    }
};
