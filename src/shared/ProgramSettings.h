#pragma once

#include <string>

#include "platform/RegistryPrimitives.h"

namespace ko {

// The per-user program-settings store: string values under HKEY_CURRENT_USER
// "Software\<company>\<application>\<section>", one value per key. The agent keeps its service
// settings (application "koagent") and the language words the server sends here.
class ProgramSettings {
  public:
    explicit ProgramSettings(RegistryPrimitives& registry);

    // The stored text, or the default when the value is missing. A number stored by another
    // program reads as its decimal text. An empty application or section names no key and
    // gives the default.
    std::string GetSetting(const std::string& application, const std::string& section,
                           const std::string& key, const std::string& defaultValue);
    // Writes the text as REG_SZ, creating the key when it is missing. False when it could not
    // be written (also for an empty application or section).
    bool SaveSetting(const std::string& application, const std::string& section,
                     const std::string& key, const std::string& value);

    // "Software\<company>\<application>\<section>"
    static std::string KeyPath(const std::string& application, const std::string& section);

  private:
    RegistryPrimitives& m_registry;
};

}  // namespace ko
