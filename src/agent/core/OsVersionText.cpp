#include "agent/core/OsVersionText.h"

#include "shared/NumberRules.h"

namespace ko {

namespace {

std::string ProductName(const OsVersion& v) {
    if (!v.windows) {
        return "";  // a Linux kernel 5.1 is no Windows XP
    }
    if (v.platformId == 1 && v.major == 4) {
        switch (v.minor) {
            case 0:
                return "Microsoft Windows 95 ";
            case 10:
                return "Microsoft Windows 98 ";
            case 90:
                return "Microsoft Windows ME ";
            default:
                return "";
        }
    }
    if (v.platformId == 2) {
        if (v.major == 3 && v.minor == 51) {
            return "Microsoft Windows NT 3.51 ";
        }
        if (v.major == 4 && v.minor == 0) {
            return "Microsoft Windows NT 4.0 ";
        }
        if (v.major == 5 && v.minor == 0) {
            return "Microsoft Windows 2000 ";
        }
        if (v.major == 5 && v.minor == 1) {
            return "Microsoft Windows XP ";
        }
    }
    return "";
}

std::string ProductTypeText(int productType) {
    switch (productType) {
        case 1:
            return "Professional";
        case 2:
            return "Domain Controller";
        case 3:
            return "Server";
        default:
            return "";
    }
}

// The service-pack text ends at its first NUL and is trimmed of blanks.
std::string CleanServicePack(std::string text) {
    auto nul = text.find('\0');
    if (nul != std::string::npos) {
        text.resize(nul);
    }
    auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return "";
    }
    auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

}  // namespace

std::string OsVersionText(const OsVersion& v, int productType) {
    const std::string build = NumberRules::Format(static_cast<std::int64_t>(v.build));
    return ProductName(v) + ProductTypeText(productType) +
           "  Version: " + NumberRules::Format(static_cast<std::int64_t>(v.major)) + "." +
           NumberRules::Format(static_cast<std::int64_t>(v.minor)) + "." + build + " " +
           CleanServicePack(v.servicePack) + " Build " + build;
}

std::string OsVersionText(SystemInfo& system) {
    OsVersion v = system.Version();
    int productType = 0;
    bool offersExtended =
        (v.platformId == 2 && v.major == 5) || (v.major == 4 && v.servicePackMajor > 5);
    if (offersExtended) {
        productType = system.ProductType().value_or(0);
    }
    return OsVersionText(v, productType);
}

}  // namespace ko
