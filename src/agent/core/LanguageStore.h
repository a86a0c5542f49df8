#pragma once

#include <array>
#include <string>

namespace ko {

class ProgramSettings;
struct AgentGlobals;

// The language words that the server sends (messages 23 and 24), kept in the per-user
// program-settings store. Nothing in the agent reads the words back; they are kept for the pages
// and tools that do.
class LanguageStore {
  public:
    // The application title under which the language entries are stored.
    static constexpr const char* kApplicationTitle = "Ostrel";

    LanguageStore(ProgramSettings& settings, AgentGlobals& globals);

    // Reads the language identifier and version into memory at start.
    void ReadAtStart();
    // Message 23: field 2 the word count N, 3 the language identifier, 4 its version, then N
    // pairs of key (field 2i+3) and text (field 2i+4).
    void StoreLanguage(const std::array<std::string, 301>& fields);
    // Message 24: field 2 the font character set.
    void StoreLanguageCharset(const std::array<std::string, 301>& fields);

  private:
    ProgramSettings& m_settings;
    AgentGlobals& m_globals;
};

}  // namespace ko
