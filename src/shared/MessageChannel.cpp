#include "shared/MessageChannel.h"

#include <cstdint>
#include <string>

#include "shared/Logger.h"

namespace ko {

namespace {

constexpr std::array<const char*, MessageChannel::kMessageCount> kNames = {
    "KOW_Update_State", "KOW_Run_Application", "KOW_DELETE_IEC",
    "KOW_DELETE_IEH",   "KOW_Disallowed_URL",  "KOW_CLOSEWS",
    "KOW_CONNECTION",   "KOW_DISALLOWEDURL",   "KOW_CUPOLICY",
};

}  // namespace

const char* MessageChannel::Name(Message message) {
    return kNames[static_cast<std::size_t>(message)];
}

std::optional<MessageChannel::Message> MessageChannel::FromName(std::string_view name) {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (name == kNames[i]) {
            return static_cast<Message>(i);
        }
    }
    return std::nullopt;
}

std::uint32_t MessageChannel::Number(Message message) {
    auto& number = m_numbers[static_cast<std::size_t>(message)];
    if (number == 0) {
        number = m_port.RegisterMessage(Name(message));
    }
    return number;
}

bool MessageChannel::RegisterAll() {
    for (std::size_t i = 0; i < kMessageCount; ++i) {
        if (Number(static_cast<Message>(i)) == 0) {
            return false;
        }
    }
    return true;
}

std::optional<MessageChannel::Message> MessageChannel::Identify(std::uint32_t number) const {
    if (number == 0) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kMessageCount; ++i) {
        if (m_numbers[i] == number) {
            return static_cast<Message>(i);
        }
    }
    return std::nullopt;
}

MessageChannel::SendResult MessageChannel::SendMessageToExe(WindowHandle watcher, Message message,
                                                            std::string_view text) {
    return Send(watcher, message, text, kAgentSendTimeoutMs);
}

MessageChannel::SendResult MessageChannel::SendMessageToService(WindowHandle agent, Message message,
                                                                std::string_view text) {
    return Send(agent, message, text, 0);
}

MessageChannel::SendResult MessageChannel::Send(WindowHandle peer, Message message,
                                                std::string_view text, std::uint32_t timeoutMs) {
    if (peer == 0 || !m_port.IsWindow(peer)) {
        return SendResult::NoPeer;
    }
    // A text ends at its first NUL, as an atom holds it: sent whole it would make the Linux
    // peer close the link as a malformed frame (a server's start list could carry one).
    text = text.substr(0, text.find('\0'));
    // A text that cannot travel whole is not sent at all: the receiver would get an empty one.
    if (text.size() > kMaxText) {
        Logger::Error(std::string("channel: ") + Name(message) + " not sent: its text has " +
                      std::to_string(text.size()) + " bytes");
        return SendResult::Refused;
    }
    const std::uint32_t number = Number(message);
    if (number == 0) {
        return SendResult::Refused;
    }
    return m_port.Send(peer, number, std::string(text), timeoutMs);
}

std::optional<std::int32_t> MessageChannel::NumberOfText(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    bool digits = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        digits = true;
        value = value * 10 + (text[i] - '0');
        if (value > std::int64_t{1} << 32) {
            return std::nullopt;
        }
    }
    if (!digits) {
        return std::nullopt;
    }
    value = negative ? -value : value;
    // A window handle may be written as an unsigned number; it keeps its 32 bits.
    if (value < INT32_MIN || value > std::int64_t{UINT32_MAX}) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

std::string MessageChannel::CutUrl(std::string_view url) {
    return std::string(url.substr(0, kMaxUrl));
}

}  // namespace ko
