#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/BrowserView.h"
#include "shared/NumberRules.h"

namespace ko {

// The click resolver of every window that shows a server page: from a click it finds the command
// element and reads the page fields the dialogs act on. Every field is cleared by each
// resolution, so a field the page lacks reads as empty (or as not read) instead of keeping what
// an earlier customer typed: a missing quantity or price can no longer send an old order, and no
// password lingers from one click to the next.
class koClientBrowser {
  public:
    // The command words, compared exactly.
    static bool IsCommandWord(const std::string& id);

    explicit koClientBrowser(const RegionalSettings& regional) : m_regional(&regional) {}

    void FindSelected(const ClickInfo& click);

    bool ValidObject = false;
    bool ValidCommand = false;
    std::string SelectedCommand;
    std::string LogonId;
    std::string LogonPassword;
    std::string NewPassword;
    std::string CurrentCustomer;
    std::string VerifyPassword;
    std::string ServiceID;
    std::optional<double> ServiceQuantity;
    std::string ServiceDescription;
    std::optional<Currency> ServiceRate;
    std::string ServiceUnit;
    std::optional<std::int16_t> serviceType;
    std::optional<double> ServiceTax;
    std::string FileName;
    std::string sPassword;
    // Whether the two new-password fields were on the page at all.
    bool NewPasswordRead = false;
    bool VerifyPasswordRead = false;

  private:
    void Clear();
    void ReadFields(const ClickInfo& click);

    const RegionalSettings* m_regional;
};

}  // namespace ko
