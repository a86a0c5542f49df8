#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ko {

// The channel between the agent and the session watcher: each program owns one hidden message
// window, messages are registered numbers, and a text of at most 255 bytes travels with each
// message. A send is synchronous: it returns once the peer has handled the message and, while
// it waits, handles the messages the peer sends in the meantime (and nothing else).
//
// Windows: hidden top-level windows, registered window messages, texts as global atoms.
// Linux: the agent serves one Unix domain socket; a watcher connects and both directions share
// that connection; a window handle is the peer's process id.
class ChannelPort {
  public:
    // A window handle as the programs exchange it: 32 bits, 0 for none.
    using WindowHandle = std::int32_t;

    // The longest text a message can carry.
    static constexpr std::size_t kMaxText = 255;

    // One message that reached the program's own window.
    struct Incoming {
        std::uint32_t number = 0;
        // For the channel's messages the sender's own window; for other window messages (the
        // hook library's notices on Windows) the raw word.
        std::uintptr_t wParam = 0;
        std::intptr_t lParam = 0;
        // The text the message carried; empty when it carried none. Filled for registered
        // numbers only.
        std::string text;
        // True when the message arrived while a send of this program was waiting for its answer.
        bool duringSend = false;
    };

    class Receiver {
      public:
        virtual ~Receiver() = default;
        // Every message that reaches the own window, handled before the window's previous
        // procedure sees it. Must not throw.
        virtual void OnWindowMessage(const Incoming& message) = 0;
    };

    enum class SendResult {
        Delivered,  // the peer handled the message
        NoPeer,     // the handle names no window (no connection): the message was dropped
        TimedOut,   // the peer did not answer in time
        Refused,    // text too long, unregistered number, or no own window
        Failed,     // the peer went away during the send, or the system call failed
    };

    virtual ~ChannelPort() = default;

    // Registers a message name with the window manager; the same name gives the same number in
    // both programs. Returns 0 when registration fails.
    virtual std::uint32_t RegisterMessage(const std::string& name) = 0;

    // Creates the program's own message window with this name and starts delivering what
    // reaches it to receiver. On Linux the serving side (the agent) listens here. Returns false
    // when the window cannot be made; a second call while the window exists returns true.
    virtual bool CreateOwnWindow(const std::string& windowName, Receiver* receiver) = 0;
    // Gives the window back (the previous procedure is put back, the socket closed); no message
    // is delivered afterwards.
    virtual void DestroyOwnWindow() = 0;
    // The own window's handle; 0 before CreateOwnWindow.
    virtual WindowHandle OwnWindow() const = 0;

    // Looks up the peer's window by name (the watcher's view of the agent). On Linux this opens
    // the connection when none is open. Returns 0 when there is none.
    virtual WindowHandle FindPeerWindow(const std::string& windowName) = 0;
    // True while handle names a peer window (on Linux: its connection is open).
    virtual bool IsWindow(WindowHandle handle) = 0;
    // The id of the process that owns a peer window (on Linux: the connection's peer, as the
    // system vouches for it); 0 when the handle names none.
    virtual std::uint32_t ProcessOfWindow(WindowHandle handle) = 0;

    // Lets a lower-privileged process send this message number to the own window, where the
    // system filters window messages by privilege. A no-op elsewhere.
    virtual void AdmitMessage(std::uint32_t number) = 0;

    // Which accounts may reach the own window, asked with the account's SID text; without a
    // check every account may. Where any local user can reach the window (Linux: the socket is
    // open to all) a process of another account is refused before it can send; the system's own
    // account and the program's own always pass. Where the window system keeps sessions apart
    // and filters by privilege itself (Windows) the check is kept but never asked.
    using AccountCheck = std::function<bool(const std::string& sid)>;
    virtual void SetPeerAccountCheck(AccountCheck check) = 0;

    // Sends synchronously, wParam the own window. timeoutMs 0 waits until the peer answers or is
    // gone. Texts longer than kMaxText are refused.
    virtual SendResult Send(WindowHandle peer, std::uint32_t number, const std::string& text,
                            std::uint32_t timeoutMs) = 0;
    // True while a Send of this program waits for its answer.
    virtual bool SendInProgress() const = 0;
};

}  // namespace ko
