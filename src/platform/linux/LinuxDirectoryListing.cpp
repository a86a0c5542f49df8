#include "platform/linux/LinuxDirectoryListing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

namespace ko {

namespace {

class LinuxDirectoryListing : public DirectoryListing {
  public:
    LinuxDirectoryListing(DIR* dir, dev_t device) : m_dir(dir), m_device(device) {}
    ~LinuxDirectoryListing() override { ::closedir(m_dir); }
    LinuxDirectoryListing(const LinuxDirectoryListing&) = delete;
    LinuxDirectoryListing& operator=(const LinuxDirectoryListing&) = delete;

    bool Next(Entry& entry) override {
        while (dirent* found = ::readdir(m_dir)) {
            if (std::strcmp(found->d_name, ".") == 0 || std::strcmp(found->d_name, "..") == 0) {
                continue;
            }
            entry.name = found->d_name;
            entry.kind = KindOf(*found);
            return true;
        }
        return false;
    }

  private:
    Kind KindOf(const dirent& found) const {
        switch (found.d_type) {
            case DT_REG:
                return Kind::File;
            case DT_DIR:
            case DT_UNKNOWN:
                break;  // a directory's device decides; an unknown type needs a look
            default:
                return Kind::Other;
        }
        struct stat info {};
        if (::fstatat(::dirfd(m_dir), found.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            return Kind::Other;
        }
        if (S_ISREG(info.st_mode)) {
            return Kind::File;
        }
        // A directory of another device is a mount point: the walk stays on its own disk.
        return S_ISDIR(info.st_mode) && info.st_dev == m_device ? Kind::Directory : Kind::Other;
    }

    DIR* m_dir;
    dev_t m_device;
};

}  // namespace

std::unique_ptr<DirectoryListing> OpenLinuxDirectory(const std::string& directory) {
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return nullptr;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<LinuxDirectoryListing>(dir, info.st_dev);
}

}  // namespace ko
