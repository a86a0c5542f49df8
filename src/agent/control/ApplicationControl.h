#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ko {

// The tracked-application list `KoApplications` and the process helpers.
class ApplicationControl {
  public:
    struct Entry {
        std::string windowHandle;  // decimal
        std::string name;
        std::string title;
    };

    virtual ~ApplicationControl() = default;
    virtual void CreateApplicationList() = 0;
    // Closes every tracked application (`CleanUp` of the list).
    virtual void CleanUp() = 0;
    // Asks the window to close, waits up to 500 ms for its process, else ends the process.
    virtual void CloseWindow(std::int32_t windowHandle) = 0;
    // Ends and forgets the tracked application with this key (handle followed by "K").
    virtual void EndApplication(const std::string& key) = 0;
    virtual std::vector<Entry> TrackedApplications() = 0;
};

}  // namespace ko
