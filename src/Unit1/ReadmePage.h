#pragma once

#include <cstddef>
#include <string>

class QPlainTextEdit;
class QTabWidget;
class QWidget;

/// The Info page's readme. Applying a language only checks that its readme can be opened; the text is read
/// into the page the first time the page is shown (a run without a screen never shows it, so it never reads
/// a readme of many megabytes for nobody). A readme longer than kMostShown bytes is shown up to there,
/// and a readme of more than kMostLines lines up to its last line that fits, each followed by a note
/// that says so; a line longer than kLongestLine characters is shown broken.
class ReadmePage {
public:
    /// The most bytes of a readme that the page shows.
    static constexpr size_t kMostShown = size_t { 1 } << 20;
    /// The longest line the page shows: a longer one is shown broken into lines of this length.
    static constexpr int kLongestLine = 1000;
    /// The most lines the page shows (the broken pieces of a long line counted as lines).
    static constexpr int kMostLines = 50000;

    ReadmePage(QTabWidget* pages, QWidget* page, QPlainTextEdit* memo);

    /// Names the readme to show: its checked full path and its name as the language file wrote it (for the
    /// message when it cannot be read later). When the page is in front, it is loaded at once.
    void setSource(std::string path, std::string name);
    /// Loads the readme when its page is in front and it is not shown yet; raises FileOpenError.
    void loadIfShown();
    /// The full path of the readme named last (empty before any).
    const std::string& path() const { return path_; }
    /// True once the readme named last is in the page.
    bool loaded() const { return loaded_; }

private:
    QTabWidget* pages_;
    QWidget* page_;
    QPlainTextEdit* memo_;
    std::string path_;
    std::string name_;
    bool loaded_ = true; // nothing to load until a readme is named
};
