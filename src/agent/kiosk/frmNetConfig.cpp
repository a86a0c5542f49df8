#include "agent/kiosk/frmNetConfig.h"

#include <algorithm>
#include <cctype>

#include "agent/core/AgentGlobals.h"
#include "agent/core/ServerLink.h"
#include "agent/kiosk/KioskContext.h"
#include "platform/KioskScreens.h"
#include "shared/Guard.h"
#include "shared/Logger.h"
#include "shared/RegistryModule.h"

namespace ko {

namespace {

constexpr const char* kSection = "NetConfig";

// A port is typed as plain digits, 1 to 65535: the HTTP port goes into page addresses as it is.
bool IsPort(const std::string& text) {
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        })) {
        return false;
    }
    const long value = std::stol(text);
    return value >= 1 && value <= 65535;
}

bool IsBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

frmNetConfig::frmNetConfig(KioskContext& context) : m_context(context) {}

frmNetConfig::~frmNetConfig() = default;

void frmNetConfig::Show() {
    if (!m_dialog) {
        if (m_context.screens == nullptr) {
            return;
        }
        m_dialog = m_context.screens->CreateNetConfigDialog(*this);
        if (!m_dialog) {
            Logger::Debug("kiosk: the network dialog could not be created");
            return;
        }
    }
    RegistryModule& store = m_context.registry;
    const AgentGlobals& globals = m_context.globals;
    // The names in use stand in for settings that were never stored (the workstation name
    // defaults to the host name).
    NetConfigFields fields{store.ReadSetting(kSection, "Server", globals.ServerName),
                           store.ReadSetting(kSection, "Port", "9678"),
                           store.ReadSetting(kSection, "HttpPort", globals.HttpPort),
                           store.ReadSetting(kSection, "WorkstationName", globals.WorkstationName)};
    // Anyone at the locked kiosk can open the dialog; where the operator set a security
    // password, pointing the workstation at another server takes it.
    m_askedPassword = globals.options.wsSecureWorkstation != 0;
    // Above the kiosk, which is topmost while the workstation is locked.
    m_dialog->SetTopmost(true);
    m_dialog->Show(fields, m_askedPassword);
}

void frmNetConfig::Unload() {
    m_dialog.reset();
}

std::optional<frmNetConfig::Problem> frmNetConfig::Check(const NetConfigFields& typed) {
    if (IsBlank(typed.serverName)) {
        return Problem{NetConfigField::ServerName, "Enter the server name or IP address."};
    }
    if (!IsPort(typed.tcpPort)) {
        return Problem{NetConfigField::TcpPort, "Enter a TCP/IP port from 1 to 65535."};
    }
    if (!IsPort(typed.httpPort)) {
        return Problem{NetConfigField::HttpPort, "Enter an HTTP port from 1 to 65535."};
    }
    if (IsBlank(typed.workstationName)) {
        return Problem{NetConfigField::WorkstationName, "Enter the workstation name."};
    }
    return std::nullopt;
}

void frmNetConfig::OnOk(const NetConfigFields& typed, const std::string& password) {
    Guarded("network dialog OK", [&] {
        if (!m_dialog) {
            return;
        }
        if (m_askedPassword && password != m_context.globals.options.wsSecurityPassword) {
            m_dialog->ShowInvalid(NetConfigField::SecurityPassword, "Wrong password");
            return;
        }
        if (std::optional<Problem> problem = Check(typed)) {
            m_dialog->ShowInvalid(problem->field, problem->text);
            return;  // nothing stored
        }
        RegistryModule& store = m_context.registry;
        store.WriteSetting(kSection, "Server", typed.serverName);
        store.WriteSetting(kSection, "HttpPort", typed.httpPort);
        store.WriteSetting(kSection, "Port", typed.tcpPort);
        store.WriteSetting(kSection, "WorkstationName", typed.workstationName);
        Logger::Info("network settings changed: server " + typed.serverName + ":" + typed.tcpPort +
                     ", workstation " + typed.workstationName);
        if (m_context.link != nullptr) {
            m_context.link->Reconnect();
        }
        if (m_dialog) {
            m_dialog->Hide();
        }
    });
}

void frmNetConfig::OnCancel() {
    if (m_dialog) {
        m_dialog->Hide();
    }
}

}  // namespace ko
