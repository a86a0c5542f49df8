#include "platform/linux/LinuxAutoLogon.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/linux/UniqueFd.h"
#include "platform/linux/UserDocuments.h"
#include "shared/Logger.h"

namespace ko {

namespace {

std::string Parent(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

bool IsFolder(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

std::string LinuxAutoLogon::DefaultFolder() {
    const char* folder = std::getenv("OSTREL_LIGHTDM_CONF_DIR");
    return folder != nullptr && *folder != '\0' ? folder : "/etc/lightdm/lightdm.conf.d";
}

LinuxAutoLogon::LinuxAutoLogon(std::string folder) : m_folder(std::move(folder)) {
    while (m_folder.size() > 1 && m_folder.back() == '/') {
        m_folder.pop_back();
    }
}

bool LinuxAutoLogon::LightDmPresent() const {
    return IsFolder(Parent(m_folder));
}

ActionResult LinuxAutoLogon::Enable(const std::string& user) {
    // The name goes into a file the display manager runs a logon from: nothing but a plain
    // account name may get there.
    if (!UserDocuments::IsValidAccountName(user)) {
        Logger::Info("automatic logon refused for an invalid account name");
        return ActionResult::Failed;
    }
    if (!LightDmPresent()) {
        return ActionResult::NotSupported;
    }
    if (!IsFolder(m_folder) && ::mkdir(m_folder.c_str(), 0755) != 0 && errno != EEXIST) {
        return ActionResult::Failed;
    }
    const std::string text =
        "# Written by the Ostrel agent while the cafe's automatic logon is on.\n"
        "[Seat:*]\nautologin-user=" +
        user + "\nautologin-user-timeout=0\n";
    // A new file renamed over the old one: the display manager never reads half of it.
    const std::string temporary = DropInPath() + ".new";
    {
        UniqueFd file(
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (!file ||
            ::write(file.Get(), text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
            ::fsync(file.Get()) != 0) {
            ::unlink(temporary.c_str());
            return ActionResult::Failed;
        }
    }
    if (::rename(temporary.c_str(), DropInPath().c_str()) != 0) {
        ::unlink(temporary.c_str());
        return ActionResult::Failed;
    }
    return ActionResult::Done;
}

ActionResult LinuxAutoLogon::Disable() {
    if (::unlink(DropInPath().c_str()) == 0 || errno == ENOENT) {
        return ActionResult::Done;
    }
    Logger::Debug("removing " + DropInPath() + ": " + std::strerror(errno));
    return ActionResult::Failed;
}

}  // namespace ko
