#pragma once

#include <functional>

namespace velmar {

/// The one thing the program asks of the clock: the current year, for two-digit years in log dates.
/// The default reads the system clock in local time; tests put a fixed year in.
int currentYear();

/// Replaces the source of the current year; an empty function restores the system clock.
void setYearSource(std::function<int()> source);

/// Fixes the current year for the lifetime of the guard.
class ScopedYear {
public:
    explicit ScopedYear(int year);
    ~ScopedYear();
    ScopedYear(const ScopedYear&) = delete;
    ScopedYear& operator=(const ScopedYear&) = delete;
};

} // namespace velmar
