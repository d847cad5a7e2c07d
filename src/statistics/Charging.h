#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class Table;

/// What a session is charged by: seconds added to every session and the money per minute.
struct Charge {
    int32_t offsetSec = 0;
    double tarifPerMin = 0.0;
};

/// The minutes to bill for a session between two date-time values (days since 30 December 1899): the seconds
/// between them rounded to the nearest whole second (the order does not matter) plus the offset, then 1 for
/// 60 seconds or less, else the seconds divided by 60 rounded up.
int64_t sessionMinutes(double sessionStart, double sessionEnd, int32_t offsetSec);

/// The money for a number of minutes: the tariff times the minutes.
double TimetoMoney(double minutes, double tarifPerMin);

/// The text a money value is written into the tables with: general form, 15 significant digits, the
/// locale's decimal separator. Money that is not a finite number (a tariff so large that the product
/// overflows) raises ConvertError "Floating point overflow": no table or export ever shows "INF" or "NAN".
std::string moneyText(double money);

/// The money texts of one tariff by minutes. Sessions of the same length cost the same, so a rebuild
/// works each text out once instead of once per session.
class MoneyTexts {
public:
    explicit MoneyTexts(double tarifPerMin);
    /// moneyText(TimetoMoney(minutes, tariff)); the view stays valid until the next call.
    std::string_view of(int64_t minutes);

private:
    double tarifPerMin_;
    std::vector<std::string> byMinutes_;
    std::string other_;
};

/// What one session is charged: its minutes, as a number and as the text of the minutes column, and the
/// text of the money column (a view into the MoneyTexts it came from, valid until their next use).
struct SessionCharge {
    int64_t minutes = 0;
    std::string minutesText;
    std::string_view money;
};

/// The charge of a session between two date-time values: sessionMinutes with the offset, priced at the
/// tariff through `money` (which must have been made for charge.tarifPerMin).
SessionCharge chargeSession(double sessionStart, double sessionEnd, const Charge& charge, MoneyTexts& money);

/// Writes the minutes (column 4) and the money (column 6) of the session into a row of the detailed table.
void FillTime(Table& Str, int row, double sessionStart, double sessionEnd, const Charge& charge);

} // namespace velmar
