#pragma once

#include "Unit1/UserDialogs.h"

/// The dialogs of a window nobody looks at (the benchmarks start the window on the offscreen platform):
/// messages go to standard error as "Error: <text>", and nobody is there to pick a file.
class ConsoleDialogs : public UserDialogs {
public:
    void showError(QWidget* window, const QString& text) override;
    std::optional<QString> openFile(QWidget* window, const QString& title, const QString& filter) override;
    std::optional<QString> saveFile(QWidget* window, const QString& title, const QString& filter,
        const QString& defaultSuffix, const QString& suggested) override;
};

/// Writes "Error: <text>" and a line end to standard error.
void writeErrorLine(const QString& text);
