#include "statistics/Charging.h"

#include "platform/Converters.h"
#include "platform/Errors.h"
#include "platform/Saturating.h"
#include "statistics/Table.h"

#include <cmath>
#include <limits>

namespace velmar {

int64_t sessionMinutes(double sessionStart, double sessionEnd, int32_t offsetSec)
{
    // The log shows whole seconds; the stored date-times carry rounding either way, so round, not truncate.
    const double product = std::fabs(sessionEnd - sessionStart) * 86400.0;
    constexpr double kLimit = 9.2e18; // below the 64-bit maximum
    int64_t seconds = 0;
    if (std::isnan(product))
        seconds = 0;
    else if (product >= kLimit)
        seconds = std::numeric_limits<int64_t>::max();
    else
        seconds = std::llround(product);

    // Seconds are never negative, so only the top of the range can be passed.
    const int64_t sum = addSaturating(seconds, offsetSec);

    if (sum <= 60)
        return 1;
    return sum / 60 + (sum % 60 != 0 ? 1 : 0);
}

double TimetoMoney(double minutes, double tarifPerMin)
{
    return tarifPerMin * minutes;
}

std::string moneyText(double money)
{
    if (!std::isfinite(money))
        throw ConvertError::floatOverflow();
    return formatFloat(money);
}

MoneyTexts::MoneyTexts(double tarifPerMin)
    : tarifPerMin_(tarifPerMin)
{
}

std::string_view MoneyTexts::of(int64_t minutes)
{
    // Calls of a few hours at most make up nearly every log; longer ones are worked out each time.
    constexpr int64_t kCached = 1440;
    if (minutes < 0 || minutes >= kCached) {
        other_ = moneyText(TimetoMoney(static_cast<double>(minutes), tarifPerMin_));
        return other_;
    }
    const auto index = static_cast<size_t>(minutes);
    if (index >= byMinutes_.size())
        byMinutes_.resize(index + 1);
    std::string& text = byMinutes_[index];
    if (text.empty())
        text = moneyText(TimetoMoney(static_cast<double>(minutes), tarifPerMin_));
    return text;
}

SessionCharge chargeSession(double sessionStart, double sessionEnd, const Charge& charge, MoneyTexts& money)
{
    SessionCharge result;
    result.minutes = sessionMinutes(sessionStart, sessionEnd, charge.offsetSec);
    result.minutesText = formatInt(result.minutes);
    result.money = money.of(result.minutes);
    return result;
}

void FillTime(Table& Str, int row, double sessionStart, double sessionEnd, const Charge& charge)
{
    MoneyTexts money(charge.tarifPerMin);
    const SessionCharge session = chargeSession(sessionStart, sessionEnd, charge, money);
    Str.setCell(4, row, session.minutesText);
    Str.setCell(6, row, session.money);
}

} // namespace velmar
