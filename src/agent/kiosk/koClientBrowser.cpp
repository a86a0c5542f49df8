#include "agent/kiosk/koClientBrowser.h"

#include <algorithm>
#include <array>

namespace ko {

namespace {

constexpr std::array<const char*, 18> kCommandWords = {"cmdLogon",
                                                       "cmdLogoff",
                                                       "cmdCancel",
                                                       "cmdOK",
                                                       "cmdChangePassword",
                                                       "cmdClose",
                                                       "cmdShowHistory",
                                                       "cmdNetConfig",
                                                       "cmdCloseWorkstation",
                                                       "cmdServiceCancel",
                                                       "cmdServiceOrder",
                                                       "cmdMakeOrder",
                                                       "cmdApplication",
                                                       "cmdSecureClose",
                                                       "cmdSecurityOptions",
                                                       "ExpandWindow",
                                                       "CollapseWindow",
                                                       "cmdShowSessionHistory"};

const FieldValue* Field(const ClickInfo& click, const std::string& id) {
    auto it = click.fields.find(id);
    return it != click.fields.end() && it->second.IsPresent() ? &it->second : nullptr;
}

}  // namespace

bool koClientBrowser::IsCommandWord(const std::string& id) {
    return std::find(kCommandWords.begin(), kCommandWords.end(), id) != kCommandWords.end();
}

void koClientBrowser::Clear() {
    *this = koClientBrowser(*m_regional);
}

void koClientBrowser::FindSelected(const ClickInfo& click) {
    Clear();
    std::optional<std::string> command;
    const ClickedElement* workstationObject = nullptr;
    const ClickedElement* applicationObject = nullptr;
    const std::size_t walk = std::min(click.chain.size(), kMaxClickChain);
    for (std::size_t i = 0; i < walk; ++i) {
        const ClickedElement& element = click.chain[i];
        if (element.id == "WorkstationObject") {
            workstationObject = &element;
            break;
        }
        if (element.id == "ApplicationObject") {
            applicationObject = &element;
            break;
        }
        if (IsCommandWord(element.id)) {
            command = element.id;  // an outer command element overrides an inner one
        }
    }
    if (command) {
        ValidCommand = true;
        SelectedCommand = *command;
    }
    if (workstationObject != nullptr) {
        ValidObject = true;
        CurrentCustomer = workstationObject->koCustomer.value_or("");
        ReadFields(click);
    } else if (applicationObject != nullptr) {
        ValidObject = true;
        FileName = applicationObject->fileName.value_or("");
    }
}

void koClientBrowser::ReadFields(const ClickInfo& click) {
    auto text = [&](const std::string& id, std::string& target) {
        const FieldValue* field = Field(click, id);
        if (field != nullptr) {
            target = field->value;
        }
        return field != nullptr;
    };
    text("txtCustomerID", LogonId);
    text("txtPassword", LogonPassword);
    NewPasswordRead = text("txtNewPassword", NewPassword);
    VerifyPasswordRead = text("txtVerifyPassword", VerifyPassword);
    text("cbServices", ServiceID);
    if (const FieldValue* quantity = Field(click, "txtQuantity")) {
        ServiceQuantity = NumberRules::ToDouble(quantity->value, *m_regional);
    }
    if (!ServiceID.empty()) {
        text(ServiceID + "txtsDescription", ServiceDescription);
        if (const FieldValue* price = Field(click, ServiceID + "txtsPrice")) {
            ServiceRate = NumberRules::ToCurrency(price->value, *m_regional);
        }
        text(ServiceID + "txtsUnit", ServiceUnit);
        if (const FieldValue* type = Field(click, ServiceID + "txtsType")) {
            serviceType = NumberRules::ToInt16(type->value, *m_regional);
        }
        if (const FieldValue* tax = Field(click, ServiceID + "txtsTax")) {
            ServiceTax = NumberRules::ToDouble(tax->value, *m_regional);
        }
    }
    text("txtSecurityPassword", sPassword);
}

}  // namespace ko
