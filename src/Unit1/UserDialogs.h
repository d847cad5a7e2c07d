#pragma once

#include <QString>
#include <optional>

class QWidget;

/// Everything the window asks of the user goes through here: its messages and its two file dialogs.
/// The desktop shows real boxes, a window nobody looks at writes to standard error, tests stand in for the user.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    /// Shows one error text and returns when the user has read it.
    virtual void showError(QWidget* window, const QString& text) = 0;
    /// Asks for an existing file; nothing when the user cancels.
    virtual std::optional<QString> openFile(QWidget* window, const QString& title, const QString& filter) = 0;
    /// Asks for a file to write; `suggested` is the name chosen last time. Nothing when the user cancels.
    virtual std::optional<QString> saveFile(QWidget* window, const QString& title, const QString& filter,
        const QString& defaultSuffix, const QString& suggested)
        = 0;
};
