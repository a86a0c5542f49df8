#pragma once

#include <chrono>
#include <string>

#include "CafeData.h"

namespace ko {

// The running figures of one customer session, as the status message carries them.
struct SessionFigures {
    int allocatedMinutes = 0;   // minutes the credit buys at logon; 0 for open accounts
    Cents allocatedAmount = 0;  // credit at logon
    Cents perHour = 0;
    Cents amount = 0;            // billed so far in this session
    bool limited = false;        // prepaid credit runs out
    long remainingSeconds = -1;  // -1 for open accounts
    Cents remainingAmount = -1;  // -1 for open accounts
    Cents totalBilled = 0;       // the account's bills, this session included
    Cents totalPayment = 0;
    Cents balance = 0;

    int RemainingMinutes() const {
        return remainingSeconds < 0 ? -1 : static_cast<int>(remainingSeconds / 60);
    }
};

// Time billing: the rate per hour is charged by the second and rounded to the cent. A prepaid
// account may spend its balance; an open (postpaid) account runs without limit.
class Billing {
  public:
    // account: as it was at logon (its billed total excludes this session).
    static SessionFigures Compute(const Account& account, Cents perHour, long elapsedSeconds);
    // "hh:mm:ss"
    static std::string FormatElapsed(long elapsedSeconds);
    // A moment in local time, by strftime's format.
    static std::string FormatLocalTime(std::chrono::system_clock::time_point at,
                                       const char* format);
};

}  // namespace ko
