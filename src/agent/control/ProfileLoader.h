#pragma once

#include <string>

namespace ko {

// Which of the customer's two profiles a load asks for.
enum class ProfileAction { Logon, Logoff };

// The logon profile document `koDom`: a new document replaces the old one (whose completion is
// then no longer awaited) and loads asynchronously; the profile handler applies it on completion.
class ProfileLoader {
  public:
    virtual ~ProfileLoader() = default;
    virtual void LoadProfile(const std::string& url, ProfileAction action) = 0;
};

}  // namespace ko
