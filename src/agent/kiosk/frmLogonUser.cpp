#include "agent/kiosk/frmLogonUser.h"

#include "agent/core/wsClient.h"

namespace ko {

frmLogonUser::frmLogonUser(KioskContext& context)
    : HtmlDialog(context, Options{"Logon User",
                                  {4000, 2400},
                                  {"cmdClose", "cmdCancel"},
                                  /*topmostOnActivate=*/true,
                                  /*blockContextMenu=*/true,
                                  /*cancelClickDefault=*/false,
                                  /*userActivity=*/true,
                                  /*formName=*/"frmLogonUser"}) {}

std::optional<std::string> frmLogonUser::OpenAddress(const std::string& mode, const std::string&) {
    if (mode != "Logon") {
        return std::nullopt;
    }
    return m_context.ServerPage("/ws/wsLogonCustomer.asp");
}

void frmLogonUser::OnCommand(const koClientBrowser& selected) {
    if (selected.SelectedCommand == "cmdCancel") {
        ShowForm("cmdCancel");
    } else if (selected.SelectedCommand == "cmdOK") {
        if (m_context.client != nullptr) {
            m_context.client->logonCustomer(selected.LogonId, selected.LogonPassword);
        }
        ShowForm("cmdCancel");
    }
}

}  // namespace ko
