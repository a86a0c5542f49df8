#include "platform/linux/MountTable.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

namespace ko {

namespace {

// The mount table writes blanks, tabs, newlines and backslashes of paths as octal escapes.
std::string Unescape(const std::string& field) {
    std::string result;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (std::all_of(digits.begin(), digits.end(),
                            [](char c) { return c >= '0' && c <= '7'; })) {
                result += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        result += field[i];
    }
    return result;
}

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

std::vector<std::string> MountTable::FixedDiskRoots(const std::string& mountinfo,
                                                    const FixedDeviceTest& isFixed) {
    std::vector<std::string> roots;
    std::set<std::string> devices;
    std::istringstream lines(mountinfo);
    std::string line;
    while (std::getline(lines, line)) {
        // id parent major:minor root mount-point options [optional...] - type source options
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint;
        if (!(fields >> id >> parent >> device >> root >> mountPoint)) {
            continue;
        }
        std::string field;
        while (fields >> field && field != "-") {
        }
        std::string type, source;
        if (!(fields >> type >> source)) {
            continue;
        }
        if (root != "/" || source.rfind("/dev/", 0) != 0 || devices.count(device) != 0 ||
            !isFixed(device)) {
            continue;
        }
        devices.insert(device);
        std::string path = Unescape(mountPoint);
        if (path.empty() || path.back() != '/') {
            path += '/';
        }
        if (path == "/") {
            roots.insert(roots.begin(), path);
        } else {
            roots.push_back(path);
        }
    }
    return roots;
}

std::vector<std::string> MountTable::FixedDiskRoots() {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    return FixedDiskRoots(text.str(), IsFixedBlockDevice);
}

bool MountTable::IsFixedBlockDevice(const std::string& majorMinor) {
    const std::string device = "/sys/dev/block/" + majorMinor;
    if (!Exists(device) || Exists(device + "/loop")) {
        return false;
    }
    // A partition carries no removable flag of its own: its disk, one folder up, does.
    const std::string flag =
        Exists(device + "/partition") ? device + "/../removable" : device + "/removable";
    if (ReadSmallFile(flag) != "0") {
        return false;
    }
    return majorMinor.rfind("1:", 0) != 0;  // RAM disks
}

}  // namespace ko
