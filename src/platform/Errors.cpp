#include "platform/Errors.h"

#include <cerrno>
#include <cstdio>
#include <exception>
#include <new>

namespace velmar {

namespace {
// The most of a refused text that a message quotes. A damaged log can hand a converter a line of many
// megabytes; a message box of that size would never open.
constexpr size_t kQuotedLimit = 1024;

std::string quoted(std::string_view text, std::string_view tail)
{
    const bool cut = text.size() > kQuotedLimit;
    if (cut)
        text = text.substr(0, kQuotedLimit);
    std::string message;
    message.reserve(text.size() + tail.size() + 5);
    message += '\'';
    // A NUL would cut the message short wherever it is shown as a C string, and a line end or another
    // control byte would garble the one line a message is: such bytes are shown as \xNN.
    static constexpr char kHex[] = "0123456789abcdef";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            message += "\\x";
            message += kHex[byte >> 4];
            message += kHex[byte & 0x0F];
        } else {
            message += c;
        }
    }
    if (cut)
        message += "...";
    message += '\'';
    message += tail;
    return message;
}
} // namespace

ConvertError ConvertError::invalidInteger(std::string_view text)
{
    return ConvertError(quoted(text, " is not a valid integer value"));
}

ConvertError ConvertError::invalidFloat(std::string_view text)
{
    return ConvertError(quoted(text, " is not a valid floating point value"));
}

ConvertError ConvertError::invalidDate(std::string_view text)
{
    return ConvertError(quoted(text, " is not a valid date"));
}

ConvertError ConvertError::invalidTime(std::string_view text)
{
    return ConvertError(quoted(text, " is not a valid time"));
}

ConvertError ConvertError::floatOverflow()
{
    return ConvertError("Floating point overflow");
}

InOutError::InOutError(int code, const std::string& message)
    : Error(message)
    , code_(code)
{
}

InOutError InOutError::fromErrno(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return InOutError(kFileNotFound, "File not found");
    case EACCES:
    case EPERM:
    case EROFS:
        return InOutError(kAccessDenied, "File access denied");
    case ENOSPC:
    case EDQUOT:
        return InOutError(kDiskFull, "Disk full");
    default:
        return InOutError(err, "I/O error " + std::to_string(err));
    }
}

namespace {
std::string codePageMessage(std::string_view text, char32_t character, std::string_view codePage)
{
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(character));
    std::string tail = " holds the character ";
    tail += code;
    tail += ", which the code page ";
    tail += codePage;
    tail += " cannot hold; nothing was saved";
    return quoted(text, tail);
}
} // namespace

CodePageError::CodePageError(std::string_view text, char32_t character, std::string_view codePage)
    : Error(codePageMessage(text, character, codePage))
{
}

InOutError InOutError::readBeyondEnd()
{
    return InOutError(kReadBeyondEnd, "Read beyond end of file");
}

InOutError InOutError::notOpen()
{
    return InOutError(kNotOpen, "File not open");
}

InOutError InOutError::logChanged()
{
    return InOutError(kLogChanged, "The log file was emptied, shortened or replaced while it was being read");
}

FileOpenError::FileOpenError(std::string_view name)
    : Error("Cannot open file " + std::string(name))
{
}

std::string currentErrorText()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return "Out of memory";
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "Unknown error";
    }
}

} // namespace velmar
