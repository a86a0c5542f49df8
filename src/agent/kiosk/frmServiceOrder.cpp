#include "agent/kiosk/frmServiceOrder.h"

#include "agent/core/wsClient.h"
#include "agent/messages/MessageWindow.h"
#include "shared/Logger.h"

namespace ko {

frmServiceOrder::frmServiceOrder(KioskContext& context)
    : HtmlDialog(context, Options{"Service Order",
                                  {4000, 2700},
                                  {"cmdClose"},
                                  /*topmostOnActivate=*/true,
                                  /*blockContextMenu=*/true,
                                  /*cancelClickDefault=*/false,
                                  /*userActivity=*/false,
                                  /*formName=*/"frmServiceOrder"}) {}

std::optional<std::string> frmServiceOrder::OpenAddress(const std::string& mode,
                                                        const std::string&) {
    if (mode != "MakeOrder") {
        return std::nullopt;
    }
    return m_context.ServerPage("/ws/WSService.asp");
}

void frmServiceOrder::OnCommand(const koClientBrowser& selected) {
    const std::string& command = selected.SelectedCommand;
    if (command == "cmdClose" || command == "cmdServiceCancel") {
        ShowForm("cmdClose");
        return;
    }
    if (command != "cmdServiceOrder") {
        return;
    }
    // An order goes only with the service, quantity and price this page shows: anything else
    // would bill the customer for what they did not choose.
    if (selected.ServiceID.empty() || !selected.ServiceQuantity || !selected.ServiceRate) {
        Logger::Debug("kiosk: the order's service, quantity or price did not read; nothing sent");
        return;
    }
    if (m_context.client != nullptr) {
        m_context.client->OrderRequest(selected.serviceType.value_or(0), selected.ServiceID,
                                       selected.ServiceDescription, selected.ServiceUnit,
                                       selected.ServiceTax.value_or(0.0), *selected.ServiceQuantity,
                                       *selected.ServiceRate);
    }
    ShowForm("cmdClose");
    m_context.messages.ShowForm("ShowMessage", "Order request proceed to the employee", "501", "",
                                1);
}

}  // namespace ko
