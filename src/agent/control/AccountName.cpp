#include "agent/control/AccountName.h"

namespace ko {

namespace {

bool OnlyDotsAndBlanks(std::string_view text) {
    for (char c : text) {
        if (c != '.' && c != ' ') {
            return false;
        }
    }
    return true;
}

bool HasAnyOf(std::string_view text, std::string_view forbidden) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F ||
            forbidden.find(c) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool IsValidAccountName(std::string_view name) {
    // The characters Windows refuses in a user name; a name of dots and blanks only is refused
    // too, as it would name a folder above the profile.
    return !name.empty() && name.size() <= 104 && !OnlyDotsAndBlanks(name) &&
           !HasAnyOf(name, "\"/\\[]:;|=,+*?<>%");
}

bool IsValidDomainName(std::string_view domain) {
    if (domain.empty()) {
        return true;
    }
    return domain.size() <= 255 && !OnlyDotsAndBlanks(domain) &&
           !HasAnyOf(domain, "\"/\\[]:;|=,+*?<>% ");
}

}  // namespace ko
