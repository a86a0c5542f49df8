#include "watcher/UrlText.h"

#include <algorithm>

#include "shared/NumberRules.h"

namespace ko::watcher {

namespace {

// One round of percent decoding; false when nothing was decoded.
bool DecodeOnce(std::string& text) {
    std::string out;
    out.reserve(text.size());
    bool decoded = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = NumberRules::HexDigitValue(text[i + 1]);
            const int low = NumberRules::HexDigitValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                decoded = true;
                continue;
            }
        }
        out += text[i];
    }
    text = std::move(out);
    return decoded;
}

void RemoveLineBreaksAndTabs(std::string& text) {
    std::erase_if(text, [](char c) { return c == '\t' || c == '\r' || c == '\n'; });
}

// Removes the dots at the end of the host name: the part after "scheme://" (and after any
// "user@") up to the first "/", "?" or "#".
void TrimHostDots(std::string& text) {
    std::size_t start = text.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    std::size_t end = text.find_first_of("/?#", start);
    if (end == std::string::npos) {
        end = text.size();
    }
    const std::size_t at = text.rfind('@', end == 0 ? 0 : end - 1);
    if (at != std::string::npos && at >= start && at < end) {
        start = at + 1;
    }
    // A port follows the host: "casino.com.:80".
    std::size_t hostEnd = text.find(':', start);
    if (hostEnd == std::string::npos || hostEnd > end) {
        hostEnd = end;
    }
    std::size_t cut = hostEnd;
    while (cut > start && text[cut - 1] == '.') {
        --cut;
    }
    text.erase(cut, hostEnd - cut);
}

}  // namespace

std::string NormalisedAddress(std::string_view address) {
    std::string text(address);
    RemoveLineBreaksAndTabs(text);
    // Each round only shortens the text, so this ends; a few rounds undo any encoding a server
    // would still decode.
    for (int round = 0; round < 4 && DecodeOnce(text); ++round) {
        RemoveLineBreaksAndTabs(text);
    }
    std::replace(text.begin(), text.end(), '\\', '/');
    TrimHostDots(text);
    return text;
}

std::string TravellingUrl(std::string_view address) {
    return std::string(address.substr(0, kMaxTravellingUrl));
}

std::string ReportedUrl(std::string_view address) {
    std::string out;
    out.reserve(std::min(address.size(), kMaxTravellingUrl) + 8);
    for (char c : address) {
        const std::size_t width = c == '|' ? 3 : 1;
        if (out.size() + width > kMaxTravellingUrl) {
            break;
        }
        if (c == '|') {
            out += "%7C";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace ko::watcher
