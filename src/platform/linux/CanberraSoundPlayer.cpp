#include "platform/linux/CanberraSoundPlayer.h"

#include <canberra.h>
#include <unistd.h>

#include "shared/Logger.h"

namespace ko {

namespace {

// Ids tell our sounds apart inside the one context; 0 is the library's "no id".
constexpr std::uint32_t kFirstId = 1;
std::uint32_t g_lastId = 0;

// One context for the process, made on first use and never destroyed: destroying it unloads the
// ALSA driver, and a playing thread that has not quite left the driver (it leaves the playing
// list before it returns) then runs in unmapped code. The process's end takes the context.
ca_context* SharedContext() {
    static ca_context* const context = [] {
        ca_context* made = nullptr;
        if (int rc = ca_context_create(&made); rc != CA_SUCCESS) {
            Logger::Error(std::string("sound: no sound context: ") + ca_strerror(rc));
            return static_cast<ca_context*>(nullptr);
        }
        ca_context_change_props(made, CA_PROP_APPLICATION_NAME, "Ostrel workstation agent",
                                CA_PROP_APPLICATION_ID, "koagent", nullptr);
        // The driver opens now, at start: opening it reads the sound configuration and takes
        // most of a second, which the first warning would otherwise spend in the loop.
        if (int rc = ca_context_open(made); rc != CA_SUCCESS) {
            Logger::Info(std::string("sound: no sound device: ") + ca_strerror(rc));
        }
        return made;
    }();
    return context;
}

}  // namespace

CanberraSoundPlayer::CanberraSoundPlayer() : m_context(SharedContext()) {}

CanberraSoundPlayer::~CanberraSoundPlayer() {
    if (m_context == nullptr || m_lastId == 0) {
        return;
    }
    // Our sound stops with us; the agent's end waits (half a second at most) for the playing
    // thread to leave the device, so the program does not exit under it.
    ca_context_cancel(m_context, m_lastId);
    for (int i = 0; i < 50; ++i) {
        int playing = 0;
        if (ca_context_playing(m_context, m_lastId, &playing) != CA_SUCCESS || playing == 0) {
            break;
        }
        ::usleep(10000);
    }
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
    // Ids come from one count for the process, as the context is one for the process.
    g_lastId = g_lastId + 1 < kFirstId ? kFirstId : g_lastId + 1;
    m_lastId = g_lastId;
    const int rc = ca_context_play(m_context, m_lastId, CA_PROP_MEDIA_FILENAME, path.c_str(),
                                   CA_PROP_CANBERRA_CACHE_CONTROL, "never", nullptr);
    if (rc != CA_SUCCESS) {
        Logger::Info("sound: " + path + " not played: " + ca_strerror(rc));
        return false;
    }
    return true;
}

}  // namespace ko
