#include "DesktopInput.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>

extern char** environ;

namespace ko {

std::string DesktopInput::TitleFor(const std::string& page) {
    // The captions the workstation gives its windows; the main window's changes to the
    // running figures while a customer works.
    static const std::map<std::string, std::string> titles = {
        {"wsmain.asp", "^(Ostrel|Ko  <.*)$"},
        {"wsmainmin.asp", "^(Ostrel|Ko  <.*)$"},
        {"wslogoncustomer.asp", "^Logon User$"},
        {"wschangepassword.asp", "^Change Password$"},
        {"wsservice.asp", "^Service Order$"},
        {"wscustomerhistory.asp", "^Customer History$"},
        {"wssessionhistory.asp", "^Customer History$"},
        {"wsmessage.asp", "^Ko Workstation$"},
        {"wsadvert.asp", "^Advertisement$"},
    };
    auto it = titles.find(page);
    return it == titles.end() ? std::string() : it->second;
}

bool DesktopInput::Run(const std::vector<std::string>& args, std::string* out) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    std::vector<std::string> all = {"xdotool"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, "xdotool", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string text;
    char buffer[512];
    ssize_t n = 0;
    while (rc == 0 &&
           ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))) {
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(pipeFds[0]);
    if (rc != 0) {
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (out != nullptr) {
        *out = text;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::optional<std::string> DesktopInput::FindWindow(const std::string& titlePattern) {
    std::string out;
    if (!Run({"search", "--onlyvisible", "--name", titlePattern}, &out)) {
        return std::nullopt;
    }
    // The newest window comes last.
    auto end = out.find_last_not_of("\n ");
    if (end == std::string::npos) {
        return std::nullopt;
    }
    auto begin = out.find_last_of('\n', end);
    return out.substr(begin == std::string::npos ? 0 : begin + 1,
                      end + 1 - (begin == std::string::npos ? 0 : begin + 1));
}

bool DesktopInput::Click(const std::string& window, int x, int y) {
    return Run(
        {"mousemove", "--window", window, std::to_string(x), std::to_string(y), "click", "1"},
        nullptr);
}

bool DesktopInput::Keys(const std::vector<std::string>& keys) {
    std::vector<std::string> args = {"key", "--delay", "80"};
    args.insert(args.end(), keys.begin(), keys.end());
    return Run(args, nullptr);
}

bool DesktopInput::Type(const std::string& text) {
    return Run({"type", "--delay", "40", "--", text}, nullptr);
}

}  // namespace ko
