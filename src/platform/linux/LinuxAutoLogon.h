#pragma once

#include <string>

#include "platform/AutoLogon.h"

namespace ko {

// LightDM's automatic logon, as a drop-in "50-ostrel.conf" in its lightdm.conf.d folder that
// only this program writes. Without LightDM (no parent folder) it answers NotSupported: other
// display managers are not driven.
class LinuxAutoLogon : public AutoLogon {
  public:
    // OSTREL_LIGHTDM_CONF_DIR when set, else /etc/lightdm/lightdm.conf.d.
    static std::string DefaultFolder();

    explicit LinuxAutoLogon(std::string folder = DefaultFolder());

    ActionResult Enable(const std::string& user) override;
    ActionResult Disable() override;

    std::string DropInPath() const { return m_folder + "/50-ostrel.conf"; }

  private:
    bool LightDmPresent() const;

    std::string m_folder;
};

}  // namespace ko
