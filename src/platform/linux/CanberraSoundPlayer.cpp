#include "platform/linux/CanberraSoundPlayer.h"

#include <canberra.h>

#include "shared/Logger.h"

namespace ko {

namespace {

// Ids tell our sounds apart inside the one context; 0 is the library's "no id".
constexpr std::uint32_t kFirstId = 1;

}  // namespace

CanberraSoundPlayer::CanberraSoundPlayer() {
    if (int rc = ca_context_create(&m_context); rc != CA_SUCCESS) {
        Logger::Error(std::string("sound: no sound context: ") + ca_strerror(rc));
        m_context = nullptr;
        return;
    }
    ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, "Ostrel workstation agent",
                            CA_PROP_APPLICATION_ID, "koagent", nullptr);
}

CanberraSoundPlayer::~CanberraSoundPlayer() {
    if (m_context != nullptr) {
        ca_context_destroy(m_context);  // stops what still plays
    }
}

bool CanberraSoundPlayer::Play(const std::string& path) {
    if (m_context == nullptr) {
        Logger::Info("sound: no sound context, " + path + " skipped");
        return false;
    }
    // A new warning replaces the one still playing.
    if (m_lastId != 0) {
        ca_context_cancel(m_context, m_lastId);
    }
    m_lastId = m_lastId + 1 < kFirstId ? kFirstId : m_lastId + 1;
    const int rc = ca_context_play(m_context, m_lastId, CA_PROP_MEDIA_FILENAME, path.c_str(),
                                   CA_PROP_CANBERRA_CACHE_CONTROL, "never", nullptr);
    if (rc != CA_SUCCESS) {
        Logger::Info("sound: " + path + " not played: " + ca_strerror(rc));
        return false;
    }
    return true;
}

}  // namespace ko
