#pragma once

#include <cstddef>
#include <string>

namespace ko {

// Follows the web browser windows of the user's session: every navigation is put to the handler
// before it happens (the handler may cancel it) and reported once it has completed.
class BrowserTracking {
  public:
    class Handler {
      public:
        virtual ~Handler() = default;
        // Runs before a browser (top-level page or frame) navigates to url, the whole address as
        // the browser holds it. Setting cancel keeps the browser where it is; the answer is
        // needed before this returns.
        virtual void BeforeNavigate(const std::string& url, bool& cancel) = 0;
        // Runs when a navigation has completed.
        virtual void NavigateComplete(const std::string& url) = 0;
    };

    enum class Status {
        Tracking,
        // The session's window list could not be reached; nothing is followed.
        Failed,
        // This platform has no way to follow its browsers here.
        NotSupported,
    };

    virtual ~BrowserTracking() = default;

    // The handler receives every tracked browser's events; nullptr stops them.
    virtual void SetHandler(Handler* handler) = 0;

    // Renews the subscription to the session's window list and follows every browser in it,
    // those already open included, each exactly once. Browsers already followed stay followed.
    virtual Status CreateIECollection() = 0;
    // Stops following every browser and drops the subscription.
    virtual void Stop() = 0;

    // Browsers followed now.
    virtual std::size_t TrackedCount() const = 0;
};

}  // namespace ko
