#include "fakes/ControlHarness.h"

namespace ko {

ControlHarness::ControlHarness()
    : caps{recorder, recorder, control,  control,  control,  control, control,
           control,  control,  recorder, recorder, recorder, recorder} {
    registry.CreateKey(RegRoot::LocalMachine, kSettingsKey, "1");
    registry.PutString(RegRoot::LocalMachine, kSettingsKey, "Server", "10.0.0.1");
    registry.PutString(RegRoot::LocalMachine, kSettingsKey, "HttpPort", "8080");
    registry.PutString(RegRoot::LocalMachine, kSettingsKey, "WorkstationName", "WS07");
}

void ControlHarness::LogOnUser(const std::string& name, const std::string& sid, ProcessId shell) {
    processes.Start(ProcessInfo{shell, "C:\\WINDOWS\\explorer.exe", sid, 1});
    session.SetUser(SessionUser{shell, name, "", sid});
    session.AddAccount("", name, sid);
}

void ControlHarness::OpenProgram(ProcessId pid, WindowId window, const std::string& executable,
                                 const std::string& windowClass, const std::string& title,
                                 const std::string& ownerSid) {
    processes.Start(ProcessInfo{pid, executable, ownerSid, 1});
    windows.Open(window, FakeDesktopWindows::Window{windowClass, title, pid, true});
}

void ControlHarness::StartConnected() {
    bool success = false;
    form.OnServiceStart(success);
    loop.RunPosted();
    loop.Advance(10000);
    socket.AcceptConnection();
    loop.RunPosted();
    socket.TakeSentMessages();
    recorder.Take();
}

void ControlHarness::Status(int state) {
    Server("0|alice|secret|60|5.00|10:00|00:10|1.20|1.50|" + std::to_string(state) +
           "|1|1|00:50|3.50|12.00|10.00|-2.00");
    loop.Advance(100);
}

std::vector<std::string> ControlHarness::Seen(const std::string& prefix) const {
    std::vector<std::string> seen;
    for (const std::string& call : recorder.calls) {
        if (call.rfind(prefix, 0) == 0) {
            seen.push_back(call);
        }
    }
    return seen;
}

std::string ControlHarness::Value(RegRoot root, const std::string& path,
                                  const std::string& name) const {
    auto data = registry.Get(root, path, name);
    if (!data) {
        return "<missing>";
    }
    if (data->type == kRegDword && data->bytes.size() == 4) {
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) {
            bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(data->bytes[i]))
                    << (8 * i);
        }
        return std::to_string(static_cast<std::int32_t>(bits));
    }
    return data->bytes.substr(0, data->bytes.find('\0'));
}

XmlNode ProfilePart(const std::string& name, std::vector<std::vector<std::string>> entries) {
    std::vector<XmlNode> children;
    for (const auto& fields : entries) {
        std::vector<XmlNode> cells;
        for (const std::string& field : fields) {
            cells.push_back(XmlNode::MakeElement("f", {XmlNode::MakeText(field)}));
        }
        children.push_back(XmlNode::MakeElement("e", std::move(cells)));
    }
    return XmlNode::MakeElement(name, std::move(children));
}

XmlNode ProfileDoc(std::vector<XmlNode> parts) {
    return XmlNode::MakeDocument(XmlNode::MakeElement("LogonProfile", std::move(parts)));
}

}  // namespace ko
