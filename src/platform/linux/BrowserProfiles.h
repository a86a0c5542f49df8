#pragma once

#include <string>
#include <vector>

namespace ko {

// One browser profile of the session user, as a folder below a base folder (so that the way down
// can be opened without following links).
struct BrowserProfile {
    enum class Browser { Firefox, Chromium };

    Browser browser = Browser::Firefox;
    // The profile folder: base + "/" + relative.
    std::string base;
    std::string relative;
    // The profile's cache folder below the session's cache folder; empty when it has none there.
    std::string cacheRelative;
    // The browser holds the profile open: its files are left alone.
    bool inUse = false;

    std::string Path() const { return base + "/" + relative; }
};

// Finds the session user's Firefox profiles (listed in profiles.ini) and Chromium profiles
// (folders of a user-data folder holding "Preferences" or "History").
class BrowserProfiles {
  public:
    struct Folders {
        std::string home;    // $HOME
        std::string config;  // $XDG_CONFIG_HOME, else ~/.config
        std::string cache;   // $XDG_CACHE_HOME, else ~/.cache
    };

    // The session user's folders from the environment; home empty when HOME is not set.
    static Folders SessionFolders();

    static std::vector<BrowserProfile> Find(const Folders& folders);

    // Whether a running browser holds the profile: Firefox's "lock" link or a lock on its
    // ".parentlock"; Chromium's "SingletonLock" link in the user-data folder. A lock left by a
    // browser that has ended does not count; one whose owner cannot be told does.
    static bool FirefoxInUse(const std::string& profile);
    static bool ChromiumInUse(const std::string& userData);
};

}  // namespace ko
