#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/NetConfigDialog.h"

namespace ko {

struct KioskContext;

// The network configuration dialog: where the server is and how the workstation is named. Each
// opening shows what the store holds now, so a second OK can no longer write back values from an
// earlier opening; OK checks the entries, stores them and asks the link to reconnect.
class frmNetConfig : public NetConfigEvents {
  public:
    explicit frmNetConfig(KioskContext& context);
    ~frmNetConfig() override;

    void Show();
    void Unload();
    bool Loaded() const { return m_dialog != nullptr; }

    void OnOk(const NetConfigFields& typed, const std::string& password) override;
    void OnCancel() override;

    // What is wrong with the entries, naming the field; nothing when they can be stored.
    struct Problem {
        NetConfigField field;
        std::string text;
    };
    static std::optional<Problem> Check(const NetConfigFields& typed);

  private:
    KioskContext& m_context;
    std::unique_ptr<NetConfigDialog> m_dialog;
    bool m_askedPassword = false;
};

}  // namespace ko
