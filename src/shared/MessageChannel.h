#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ChannelPort.h"

namespace ko {

// The nine messages the agent and the watcher exchange, the same in both programs: their names,
// their registered numbers and the two sending routines.
class MessageChannel {
  public:
    using WindowHandle = ChannelPort::WindowHandle;
    using SendResult = ChannelPort::SendResult;

    // "KOW_Disallowed_URL" (a completed navigation, reported) and "KOW_DISALLOWEDURL" (a refused
    // one, shown to the customer) are two different messages.
    enum class Message : std::uint8_t {
        KOW_Update_State,
        KOW_Run_Application,
        KOW_DELETE_IEC,
        KOW_DELETE_IEH,
        KOW_Disallowed_URL,
        KOW_CLOSEWS,
        KOW_CONNECTION,
        KOW_DISALLOWEDURL,
        KOW_CUPOLICY,
    };
    static constexpr std::size_t kMessageCount = 9;

    // The windows' names: the agent's window is the one a watcher looks for.
    static constexpr const char* kAgentWindowName = "Ostrel Workstation - Server";
    static constexpr const char* kWatcherWindowName = "Ostrel Workstation - Client";

    // A text travels in at most 255 bytes; a URL is cut to its first 254 characters.
    static constexpr std::size_t kMaxText = ChannelPort::kMaxText;
    static constexpr std::size_t kMaxUrl = 254;

    // The agent waits at most this long for the watcher; the watcher waits until answered.
    static constexpr std::uint32_t kAgentSendTimeoutMs = 5000;

    explicit MessageChannel(ChannelPort& port) : m_port(port) {}

    static const char* Name(Message message);
    static std::optional<Message> FromName(std::string_view name);

    // The registered number, registering the name first while it has none; 0 when that fails
    // (it is tried again at the next use).
    std::uint32_t Number(Message message);
    // Registers all nine in order, stopping at the first that fails. Returns true when all are.
    bool RegisterAll();
    // Which of the nine a registered number is; nothing for any other number.
    std::optional<Message> Identify(std::uint32_t number) const;

    // The agent's send to the watcher: waits at most kAgentSendTimeoutMs.
    SendResult SendMessageToExe(WindowHandle watcher, Message message, std::string_view text);
    // The watcher's send to the agent: waits until the agent has answered or is gone.
    SendResult SendMessageToService(WindowHandle agent, Message message, std::string_view text);

    // A text that names a number: leading spaces skipped, an optional sign, at least one digit,
    // reading stops at the first other character. Nothing for an empty or non-numeric text or a
    // value outside 32 bits (an unsigned 32-bit value keeps its bits).
    static std::optional<std::int32_t> NumberOfText(std::string_view text);
    // A URL as it travels: its first kMaxUrl bytes.
    static std::string CutUrl(std::string_view url);

    ChannelPort& Port() { return m_port; }

  private:
    SendResult Send(WindowHandle peer, Message message, std::string_view text,
                    std::uint32_t timeoutMs);

    ChannelPort& m_port;
    std::array<std::uint32_t, kMessageCount> m_numbers{};
};

}  // namespace ko
