#include "platform/linux/CanberraSoundPlayer.h"

#include <canberra.h>
#include <unistd.h>

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
    // The driver opens now, at start: opening it reads the sound configuration and takes most of
    // a second, which the first warning would otherwise spend in the loop.
    if (int rc = ca_context_open(m_context); rc != CA_SUCCESS) {
        Logger::Info(std::string("sound: no sound device: ") + ca_strerror(rc));
    }
}

CanberraSoundPlayer::~CanberraSoundPlayer() {
    if (m_context == nullptr) {
        return;
    }
    // HACK: destroying the context while its ALSA thread still plays can leave that thread
    // running in the unloaded driver. The sound is stopped first and given a moment to end.
    if (m_lastId != 0) {
        ca_context_cancel(m_context, m_lastId);
        for (int i = 0; i < 50; ++i) {
            int playing = 0;
            if (ca_context_playing(m_context, m_lastId, &playing) != CA_SUCCESS || playing == 0) {
                break;
            }
            ::usleep(10000);
        }
    }
    ca_context_destroy(m_context);
}

bool CanberraSoundPlayer::Play(const std::string& path) {
    if (m_context == nullptr) {
        Logger::Info("sound: no sound context, " + path + " skipped");
        return false;
    }
    // HACK: libcanberra's ALSA driver can crash its playing thread on the error path of a file it
    // cannot open; a file we cannot read is never handed to it.
    if (::access(path.c_str(), R_OK) != 0) {
        Logger::Info("sound: " + path + " cannot be read, not played");
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
