#include "agent/kiosk/frmCustomerHistory.h"

#include "agent/core/AgentGlobals.h"
#include "agent/core/PageAddress.h"

namespace ko {

frmCustomerHistory::frmCustomerHistory(KioskContext& context)
    : HtmlDialog(context, Options{"Customer History",
                                  {9300, 7100},
                                  {"cmdClose"},
                                  /*topmostOnActivate=*/false,
                                  /*blockContextMenu=*/false,
                                  /*cancelClickDefault=*/false,
                                  /*userActivity=*/false,
                                  /*formName=*/"frmCustomerHistory"}) {}

std::optional<std::string> frmCustomerHistory::OpenAddress(const std::string& mode,
                                                           const std::string& CurrentCustomer) {
    const std::string query = "?customer=" + QueryValue(CurrentCustomer) +
                              "&wsName=" + QueryValue(m_context.globals.WorkstationName);
    if (mode == "ShowHistory") {
        return m_context.ServerPage("/ws/WSCustomerHistory.asp" + query);
    }
    if (mode == "ShowSessionHistory") {
        return m_context.ServerPage("/ws/wsSessionHistory.asp" + query);
    }
    return std::nullopt;
}

bool frmCustomerHistory::VisibleWhileLoading(const std::string& mode) const {
    return mode == "ShowHistory";
}

void frmCustomerHistory::OnCommand(const koClientBrowser& selected) {
    if (selected.SelectedCommand == "cmdClose") {
        ShowForm("cmdClose");
    }
}

}  // namespace ko
