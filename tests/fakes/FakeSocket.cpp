#include "fakes/FakeSocket.h"

#include "fakes/FakeEventLoop.h"
#include "shared/WireCodec.h"

namespace ko {

bool FakeSocket::Connect(const std::string& host, std::uint16_t port) {
    connects.push_back({host, port});
    return !connectFailsAtOnce;
}

void FakeSocket::Close() {
    ++closes;
    connected = false;
    m_received.clear();
}

bool FakeSocket::SendData(const std::string& bytes) {
    if (!connected || sendFailsAtOnce) {
        return false;
    }
    sentWire.push_back(bytes);
    if (autoCompleteSends) {
        m_loop.Post([this] { CompleteSend(); });
    }
    return true;
}

std::string FakeSocket::GetData() {
    return std::exchange(m_received, std::string());
}

void FakeSocket::AcceptConnection() {
    connected = true;
    if (m_handler != nullptr) {
        m_handler->OnConnect();
    }
}

void FakeSocket::RefuseConnection() {
    if (m_handler != nullptr) {
        m_handler->OnError(10061, "connection refused");
    }
}

void FakeSocket::Deliver(const std::string& wireBytes) {
    m_received += wireBytes;
    if (m_handler != nullptr) {
        m_handler->OnDataArrival(m_received.size());
    }
}

void FakeSocket::DeliverMessage(const std::string& text, int multiplier) {
    Deliver(WireCodec::EncodeMessage(text, multiplier));
}

void FakeSocket::PeerClose() {
    connected = false;
    if (m_handler != nullptr) {
        m_handler->OnClose();
    }
}

void FakeSocket::CompleteSend() {
    if (m_handler != nullptr) {
        m_handler->OnSendComplete();
    }
}

std::vector<std::string> FakeSocket::SentMessages() const {
    std::vector<std::string> texts;
    for (const auto& wire : sentWire) {
        texts.push_back(WireCodec::DecodeMessage(wire));
    }
    return texts;
}

std::vector<std::string> FakeSocket::TakeSentMessages() {
    std::vector<std::string> texts = SentMessages();
    sentWire.clear();
    return texts;
}

}  // namespace ko
