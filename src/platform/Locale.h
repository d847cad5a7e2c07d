#pragma once

namespace velmar {

/// The two separators of the user's locale that the program reads and writes numbers with.
/// The program never changes them; it only reads them once at start-up.
struct LocaleFormat {
    char decimalSeparator = '.';
    char timeSeparator = ':';
};

/// Reads the separators of the locale that the environment names (LC_ALL, LC_NUMERIC, LC_TIME, LANG).
/// A locale that is not installed, or whose separator is not a single byte, gives the C separators.
LocaleFormat localeFromEnvironment();

/// The separators in effect for every conversion of the process.
const LocaleFormat& currentLocale();

/// Puts other separators in effect: start-up does it once, tests do it to run under either.
void setCurrentLocale(const LocaleFormat& format);

/// Puts a format in effect for the lifetime of the guard, then restores the previous one.
class ScopedLocale {
public:
    explicit ScopedLocale(const LocaleFormat& format);
    ~ScopedLocale();
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    LocaleFormat saved_;
};

} // namespace velmar
