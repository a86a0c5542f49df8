#include "platform/XmlDocument.h"

#include <cctype>

namespace ko {

bool XmlDocument::IsHttpAddress(const std::string& url) {
    auto startsWith = [&](const std::string& scheme) {
        if (url.size() < scheme.size()) {
            return false;
        }
        for (std::size_t i = 0; i < scheme.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i]) {
                return false;
            }
        }
        return true;
    };
    return startsWith("http://") || startsWith("https://");
}

}  // namespace ko
