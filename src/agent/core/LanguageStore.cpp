#include "agent/core/LanguageStore.h"

#include "agent/core/AgentGlobals.h"
#include "shared/NumberRules.h"
#include "shared/ProgramSettings.h"

namespace ko {

LanguageStore::LanguageStore(ProgramSettings& settings, AgentGlobals& globals)
    : m_settings(settings), m_globals(globals) {}

void LanguageStore::ReadAtStart() {
    m_globals.LangID = m_settings.GetSetting(kApplicationTitle, "Language", "LangID", "1");
    m_globals.LangVer = m_settings.GetSetting(kApplicationTitle, "Language", "LangVer", "0");
}

void LanguageStore::StoreLanguage(const std::array<std::string, 301>& fields) {
    const RegionalSettings& regional = m_globals.regional;
    std::optional<std::int16_t> count = NumberRules::ToInt16(fields[2], regional);
    m_settings.SaveSetting(kApplicationTitle, "Language", "LangID", fields[3]);
    m_settings.SaveSetting(kApplicationTitle, "Language", "LangVer", fields[4]);
    m_globals.LangID = fields[3];
    m_globals.LangVer = fields[4];
    if (!count) {
        return;
    }
    for (int i = 1; i <= *count; ++i) {
        const std::size_t keyIndex = 2 * static_cast<std::size_t>(i) + 3;
        if (keyIndex + 1 >= fields.size()) {
            break;  // fields past 300 do not exist
        }
        std::optional<double> key = NumberRules::ToDouble(fields[keyIndex], regional);
        if (!key) {
            continue;  // a key that is not a number: this pair is skipped
        }
        // Keys are the number written back in decimal, with a blank where a sign would stand.
        std::string name = NumberRules::Format(*key, regional);
        if (*key >= 0) {
            name.insert(name.begin(), ' ');
        }
        m_settings.SaveSetting("KoLang", "LangWords", name, fields[keyIndex + 1]);
        m_settings.SaveSetting(kApplicationTitle, "Translation", name, fields[keyIndex + 1]);
    }
}

void LanguageStore::StoreLanguageCharset(const std::array<std::string, 301>& fields) {
    m_settings.SaveSetting(kApplicationTitle, "Language", "LangFCharset", fields[2]);
}

}  // namespace ko
