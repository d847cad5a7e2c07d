#pragma once

#include "Unit1/UserDialogs.h"

/// The desktop's dialogs: a modal error box and the platform's file dialogs.
class WidgetDialogs : public UserDialogs {
public:
    void showError(QWidget* window, const QString& text) override;
    std::optional<QString> openFile(QWidget* window, const QString& title, const QString& filter) override;
    std::optional<QString> saveFile(QWidget* window, const QString& title, const QString& filter,
        const QString& defaultSuffix, const QString& suggested) override;
};
