#include "agent/kiosk/frmChangePassword.h"

#include "agent/core/wsClient.h"
#include "agent/messages/MessageWindow.h"
#include "shared/Logger.h"

namespace ko {

frmChangePassword::frmChangePassword(KioskContext& context)
    : HtmlDialog(context, Options{"Change Password",
                                  {4000, 2400},
                                  {"cmdClose", "cmdCancel"},
                                  /*topmostOnActivate=*/true,
                                  /*blockContextMenu=*/true,
                                  /*cancelClickDefault=*/true,
                                  /*userActivity=*/false,
                                  /*formName=*/"frmChangePassword"}) {}

std::optional<std::string> frmChangePassword::OpenAddress(const std::string& mode,
                                                          const std::string&) {
    if (mode != "ChangePassword") {
        return std::nullopt;
    }
    return m_context.ServerPage("/ws/wsChangePassword.asp");
}

void frmChangePassword::OnCommand(const koClientBrowser& selected) {
    if (selected.SelectedCommand == "cmdCancel") {
        ShowForm("cmdCancel");
        return;
    }
    if (selected.SelectedCommand != "cmdOK") {
        return;
    }
    if (!selected.NewPasswordRead || !selected.VerifyPasswordRead) {
        Logger::Debug("kiosk: the password page lacks its fields; nothing sent");
        return;
    }
    if (selected.VerifyPassword != selected.NewPassword) {
        m_context.messages.ShowForm(
            "ShowMessage", "Verify password does not match with the new password!", "1006", "", 0);
        return;  // the dialog stays open, the fields as typed
    }
    if (selected.NewPassword.empty()) {
        // Two empty fields are alike, but a stray OK must not wipe the customer's password.
        Logger::Debug("kiosk: an empty new password is not sent");
        return;
    }
    if (m_context.client != nullptr) {
        m_context.client->ChangePassword(selected.NewPassword);
    }
    ShowForm("cmdCancel");
}

}  // namespace ko
