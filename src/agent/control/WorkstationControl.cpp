#include "agent/control/WorkstationControl.h"

#include "agent/control/WindowsLogonSettings.h"
#include "platform/AutoLogon.h"
#include "platform/HookLibrary.h"
#include "shared/Logger.h"

namespace ko {

WorkstationControl::WorkstationControl(ControlContext context, XmlDocument& xml,
                                       WindowsLogonSettings& logonSettings)
    : m_ctx(context),
      m_identity(m_ctx.session, m_ctx.registry),
      m_profile(m_ctx.loop, xml),
      m_applications(m_ctx, m_profile),
      m_locker(m_ctx, m_applications),
      m_policies(m_ctx, m_identity, m_profile, *this),
      m_hooks(m_ctx, m_applications, m_policies),
      m_power(m_ctx, m_hooks),
      m_cleanup(m_ctx, m_applications),
      m_handler(m_ctx, m_profile, logonSettings, m_cleanup, m_applications, m_policies) {
    m_profile.SetHandler([this](std::shared_ptr<const XmlNode> koDom, std::uint64_t generation) {
        m_handler.OnProfileLoaded(std::move(koDom), generation);
    });
}

WorkstationControl::~WorkstationControl() {
    m_ctx.hookLibrary.SetNoticeHandler(nullptr);
    m_profile.SetHandler(nullptr);
}

void WorkstationControl::SetScreenSaverRunning(bool running) {
    // The flag only blocks the secure-attention keys on Windows 9x, which this program does not
    // run on; the NT family ignores it.
    Logger::Debug(running ? "lock: screen saver flag set" : "lock: screen saver flag cleared");
}

void WorkstationControl::SetClient(wsClient* client, ServerLink* link) {
    m_ctx.client = client;
    m_ctx.link = link;
}

void WorkstationControl::BeginRestore() {
    m_ctx.stopping = true;
    m_profile.Cancel();
    // The cafe's own automatic logon is the registry's again; the drop-in goes.
    m_ctx.autoLogon.Disable();
}

}  // namespace ko
