#include "shared/QueryValue.h"

namespace ko {

std::string QueryValue(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
            case '&':
                out += "%26";
                break;
            case '#':
                out += "%23";
                break;
            case '%':
                out += "%25";
                break;
            case '+':
                out += "%2B";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace ko
