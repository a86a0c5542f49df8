#pragma once

#include <optional>
#include <string>
#include <vector>

#include "CafeData.h"

namespace ko {

// Builds the server messages that the operator names on the console ("shutdown",
// "message 7 Hello", "options keepOnTop=1", ...), with the cafe data filling in what the
// operator leaves out. Refuses what the workstation would mis-read.
class ServerCommands {
  public:
    // adBase: "http://host:port" of kosim's web side as this workstation reaches it.
    static std::optional<std::string> Build(const std::string& word,
                                            const std::vector<std::string>& args,
                                            const CafeData& data, const std::string& adBase,
                                            std::string& error);

    static std::string AdvertisementProfile(const CafeData& data, const std::string& adBase);
    static std::optional<std::string> Options(const WorkstationOptions& options,
                                              const std::vector<std::string>& overrides,
                                              std::string& error);
    // The console's help text for the message words.
    static std::string Help();
};

}  // namespace ko
