#pragma once

#include <QString>
#include <string>
#include <string_view>

// The window's edge: the core holds texts as bytes of the code page and paths as the file system's bytes;
// the controls hold Unicode.

/// Bytes of the current code page as display text.
QString fromCodePage(std::string_view bytes);
/// Display text as bytes of the current code page ('?' for characters it lacks).
std::string toCodePage(const QString& text);
/// Display text as bytes of the current code page; a character the code page lacks raises CodePageError
/// instead of becoming '?', so that a setting is never stored other than it was typed.
std::string toCodePageExactly(const QString& text);
/// A text from a language file as a hint that is shown as it stands, never read as markup.
QString plainToolTip(const QString& text);
/// A path as the file system names it.
std::string toNativePath(const QString& path);
/// A file system name as display text.
QString fromNativePath(std::string_view path);
