#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ko {

// The mounts of the machine's fixed disks, read from the kernel's mount table.
class MountTable {
  public:
    // Whether the block device major:minor is a fixed disk (or a partition of one).
    using FixedDeviceTest = std::function<bool(const std::string& majorMinor)>;

    // The mount points (each ending with "/") of mountinfo-format text whose source is a fixed
    // block device, "/" first, each device once, bind mounts of a device's sub-folders left out.
    static std::vector<std::string> FixedDiskRoots(const std::string& mountinfo,
                                                   const FixedDeviceTest& isFixed);
    // The roots of this machine: /proc/self/mountinfo tested against /sys/dev/block.
    static std::vector<std::string> FixedDiskRoots();
    // A block device that is neither removable (USB sticks, card readers, optical drives) nor a
    // loop or RAM device.
    static bool IsFixedBlockDevice(const std::string& majorMinor);
};

}  // namespace ko
