#include "platform/Locale.h"

#include <cstring>
#include <langinfo.h>
#include <locale.h>

namespace velmar {

namespace {

LocaleFormat& format()
{
    static LocaleFormat current;
    return current;
}

// Only a single-byte, printable separator can stand in the program's single-byte texts.
bool usable(const char* text)
{
    return text && text[0] != '\0' && text[1] == '\0' && static_cast<unsigned char>(text[0]) > ' '
        && static_cast<unsigned char>(text[0]) < 0x7F;
}

// The first literal character between the hour and the minute in the locale's time format.
char timeSeparatorOf(const char* pattern)
{
    if (!pattern)
        return ':';
    for (const char* p = pattern; *p; ++p) {
        if (*p == '%') {
            if (p[1] == '\0')
                break;
            char conversion = p[1];
            while (conversion == 'E' || conversion == 'O' || conversion == '-' || conversion == '_' || conversion == '0'
                || conversion == '^' || conversion == '#') {
                ++p;
                conversion = p[1];
                if (conversion == '\0')
                    return ':';
            }
            if (conversion == 'T' || conversion == 'R' || conversion == 'r')
                return ':';
            ++p;
            continue;
        }
        const char c = *p;
        if (c != ' ' && static_cast<unsigned char>(c) < 0x7F && !(c >= '0' && c <= '9') && !(c >= 'a' && c <= 'z')
            && !(c >= 'A' && c <= 'Z'))
            return c;
    }
    return ':';
}

} // namespace

LocaleFormat localeFromEnvironment()
{
    LocaleFormat result;
    locale_t loc = newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, "", static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0))
        return result;
    const char* radix = nl_langinfo_l(RADIXCHAR, loc);
    if (usable(radix))
        result.decimalSeparator = radix[0];
    result.timeSeparator = timeSeparatorOf(nl_langinfo_l(T_FMT, loc));
    freelocale(loc);
    return result;
}

const LocaleFormat& currentLocale()
{
    return format();
}

void setCurrentLocale(const LocaleFormat& next)
{
    format() = next;
}

ScopedLocale::ScopedLocale(const LocaleFormat& next)
    : saved_(currentLocale())
{
    setCurrentLocale(next);
}

ScopedLocale::~ScopedLocale()
{
    setCurrentLocale(saved_);
}

} // namespace velmar
