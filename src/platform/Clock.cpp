#include "platform/Clock.h"

#include <ctime>

namespace velmar {

namespace {

std::function<int()>& source()
{
    static std::function<int()> current;
    return current;
}

int systemYear()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

} // namespace

int currentYear()
{
    return source() ? source()() : systemYear();
}

void setYearSource(std::function<int()> next)
{
    source() = std::move(next);
}

ScopedYear::ScopedYear(int year)
{
    setYearSource([year] { return year; });
}

ScopedYear::~ScopedYear()
{
    setYearSource({});
}

} // namespace velmar
