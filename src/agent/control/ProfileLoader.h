#pragma once

#include <string>

namespace ko {

// The logon profile document `koDom`: a new document replaces the old one (whose completion is
// then no longer awaited) and loads asynchronously; the profile handler applies it on completion.
class ProfileLoader {
  public:
    virtual ~ProfileLoader() = default;
    virtual void LoadProfile(const std::string& url) = 0;
};

}  // namespace ko
