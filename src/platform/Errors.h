#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace velmar {

/// Base of every failure the core raises; what() is the exact text the user is shown.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A text that one of the converters cannot read. The messages quote at most the first 1024 bytes of
/// the text, followed by "..." when it is longer; control bytes (0 to 31 and 127) are quoted as \xNN with
/// two lower-case hexadecimal digits, so the message stays one whole line.
class ConvertError : public Error {
public:
    using Error::Error;

    /// "'<text>' is not a valid integer value"
    static ConvertError invalidInteger(std::string_view text);
    /// "'<text>' is not a valid floating point value"
    static ConvertError invalidFloat(std::string_view text);
    /// "'<text>' is not a valid date"
    static ConvertError invalidDate(std::string_view text);
    /// "'<text>' is not a valid time"
    static ConvertError invalidTime(std::string_view text);
    /// "Floating point overflow": a number that passes the syntax but lies beyond a double.
    static ConvertError floatOverflow();
};

/// A failed input/output operation on a file, with the number of the failure.
class InOutError : public Error {
public:
    InOutError(int code, const std::string& message);

    int code() const noexcept { return code_; }

    /// "File not found" (2), "File access denied" (5), "Disk full" (101), else "I/O error <errno>".
    static InOutError fromErrno(int err);
    /// "Read beyond end of file" (100): a record file shorter than its record.
    static InOutError readBeyondEnd();
    /// "File not open" (103): a file variable used or closed while it is not open.
    static InOutError notOpen();
    /// The log was emptied, shortened or replaced while it was read (1000).
    static InOutError logChanged();

    static constexpr int kFileNotFound = 2;
    static constexpr int kAccessDenied = 5;
    static constexpr int kReadBeyondEnd = 100;
    static constexpr int kNotOpen = 103;
    static constexpr int kLogChanged = 1000;
    static constexpr int kDiskFull = 101;

private:
    int code_;
};

/// A text typed or picked in the window that the code page of the settings and language files cannot hold;
/// stored, its characters would turn into "?".
class CodePageError : public Error {
public:
    /// "'<text>' holds the character U+<code>, which the code page <page> cannot hold; nothing was saved"
    /// (`text` in the code page, its lacking characters already shown as "?").
    CodePageError(std::string_view text, char32_t character, std::string_view codePage);
};

/// A whole text file that cannot be loaded: "Cannot open file <name>".
class FileOpenError : public Error {
public:
    explicit FileOpenError(std::string_view name);
};

/// The text the user is shown for the error being handled (call it inside a catch block): its own message,
/// "Out of memory", or "Unknown error" for a failure that carries no text.
std::string currentErrorText();

} // namespace velmar
