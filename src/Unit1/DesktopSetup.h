#pragma once

#include <QString>

class QLocale;

/// The font the window was drawn for. Debian ships a free font with its metrics in a directory of its own
/// that fontconfig does not search; it is loaded from there when the font is not known already.
/// Returns true when the font is available to the window afterwards.
bool ensureDesignFont(const QString& directory = QStringLiteral("/usr/share/wine/fonts"));

/// Installs Qt's own translations (file dialogs, context menus, standard buttons) for the locale from
/// `directory` (by default where Qt keeps them). Returns how many translation files were loaded.
int installQtTranslations(const QLocale& locale, const QString& directory = QString());
