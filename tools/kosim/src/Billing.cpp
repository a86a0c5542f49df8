#include "Billing.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <limits>

namespace ko {

SessionFigures Billing::Compute(const Account& account, Cents perHour, long elapsedSeconds) {
    SessionFigures f;
    elapsedSeconds = std::max(elapsedSeconds, 0L);
    f.perHour = perHour;
    f.amount = (perHour * elapsedSeconds + 1800) / 3600;
    f.totalPayment = account.payments;
    f.totalBilled = account.billed + f.amount;
    f.balance = f.totalPayment - f.totalBilled;
    f.limited = !account.postpaid && perHour > 0;
    if (f.limited) {
        f.allocatedAmount = std::max<Cents>(account.Balance(), 0);
        long paidSeconds = static_cast<long>(f.allocatedAmount * 3600 / perHour);
        f.allocatedMinutes =
            static_cast<int>(std::min<long>(paidSeconds / 60, std::numeric_limits<short>::max()));
        f.remainingSeconds = std::max(paidSeconds - elapsedSeconds, 0L);
        // The session ends when the credit is spent; it never bills beyond it.
        f.amount = std::min(f.amount, f.allocatedAmount);
        f.totalBilled = account.billed + f.amount;
        f.balance = f.totalPayment - f.totalBilled;
        f.remainingAmount = std::max<Cents>(f.allocatedAmount - f.amount, 0);
    }
    return f;
}

std::string Billing::FormatElapsed(long elapsedSeconds) {
    elapsedSeconds = std::max(elapsedSeconds, 0L);
    char text[32];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", elapsedSeconds / 3600,
                  elapsedSeconds / 60 % 60, elapsedSeconds % 60);
    return text;
}

std::string Billing::FormatLocalTime(std::chrono::system_clock::time_point at, const char* format) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    char text[64];
    std::strftime(text, sizeof text, format, &parts);
    return text;
}

}  // namespace ko
