#include "platform/win32/NetConfigDialog.h"

#include "platform/win32/Win32EventLoop.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

namespace {

constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;

// The layout is drawn in twips; dialog units follow the dialog font (8-point MS Shell Dlg: a
// unit is a quarter of a 6-pixel average character across and an eighth of a 13-pixel line
// down, at 15 twips per pixel).
short DluX(int twips) {
    return static_cast<short>((twips * 4 + 45) / 90);
}
short DluY(int twips) {
    return static_cast<short>((twips * 8 + 97) / 195);
}

class TemplateWriter {
  public:
    void Word(WORD value) { m_words.push_back(value); }
    void Dword(DWORD value) {
        Word(LOWORD(value));
        Word(HIWORD(value));
    }
    void Text(const char* text) {
        for (const char* p = text; *p != '\0'; ++p) {
            Word(static_cast<unsigned char>(*p));
        }
        Word(0);
    }
    void AlignDword() {
        if (m_words.size() % 2 != 0) {
            Word(0);
        }
    }
    void Item(DWORD style, int left, int top, int width, int height, WORD id, WORD windowClass,
              const char* text) {
        AlignDword();
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);  // extended style
        Word(static_cast<WORD>(DluX(left)));
        Word(static_cast<WORD>(DluY(top)));
        Word(static_cast<WORD>(DluX(width)));
        Word(static_cast<WORD>(DluY(height)));
        Word(id);
        Word(0xFFFF);
        Word(windowClass);
        Text(text);
        Word(0);  // no creation data
    }
    std::vector<WORD> Take() { return std::move(m_words); }

  private:
    std::vector<WORD> m_words;
};

}  // namespace

std::vector<WORD> NetConfigDialog::BuildTemplate() {
    TemplateWriter writer;
    constexpr WORD kItems = 10;
    writer.Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT);
    writer.Dword(0);
    writer.Word(kItems);
    writer.Word(0);  // x and y: placed on showing
    writer.Word(0);
    writer.Word(static_cast<WORD>(DluX(6270)));  // client area
    writer.Word(static_cast<WORD>(DluY(1815)));
    writer.Word(0);  // no menu
    writer.Word(0);  // the system's dialog class
    writer.Text("NetConfig 2003");
    writer.Word(8);
    writer.Text("MS Shell Dlg");
    // Template order is tab order: every label precedes its field.
    constexpr DWORD kLabel = SS_LEFT;
    constexpr DWORD kField = WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
    writer.Item(kLabel, 150, 217, 2400, 260, 0xFFFF, kStaticClass, "Server Name or IP Address");
    writer.Item(kField, 2640, 200, 1600, 295, kServerName, kEditClass, "");
    writer.Item(kLabel, 150, 577, 2400, 260, 0xFFFF, kStaticClass, "TCP/IP Port");
    writer.Item(kField, 2640, 560, 1600, 295, kTcpPort, kEditClass, "");
    writer.Item(kLabel, 150, 937, 2400, 260, 0xFFFF, kStaticClass, "HTPP Port");
    writer.Item(kField, 2640, 920, 1600, 295, kHttpPort, kEditClass, "");
    writer.Item(kLabel, 150, 1297, 2400, 260, 0xFFFF, kStaticClass, "Workstation Name");
    writer.Item(kField, 2640, 1280, 1600, 295, kWorkstationName, kEditClass, "");
    writer.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 4560, 120, 1170, 360, IDOK, kButtonClass, "OK");
    writer.Item(BS_PUSHBUTTON | WS_TABSTOP, 4560, 540, 1170, 360, IDCANCEL, kButtonClass, "Cancel");
    return writer.Take();
}

NetConfigDialog::NetConfigDialog(Win32EventLoop& loop, Events events)
    : m_loop(loop), m_events(std::move(events)) {
    std::vector<WORD> dialogTemplate = BuildTemplate();
    // No owner: the dialog is a window of its own, as the operator expects it in the taskbar.
    m_window.Reset(CreateDialogIndirectParamA(
        GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data()),
        nullptr, &DialogProc, reinterpret_cast<LPARAM>(this)));
    if (!m_window) {
        Logger::Error("NetConfigDialog: dialog not created");
        return;
    }
    HWND dialog = m_window.Get();
    m_filter = m_loop.AddMessageFilter([dialog](const MSG& msg) {
        return (msg.hwnd == dialog || IsChild(dialog, msg.hwnd)) &&
               IsDialogMessageA(dialog, const_cast<MSG*>(&msg));
    });
}

NetConfigDialog::~NetConfigDialog() {
    if (m_filter != 0) {
        m_loop.RemoveMessageFilter(m_filter);
    }
    if (m_window) {
        SetWindowLongPtrA(m_window.Get(), DWLP_USER, 0);
    }
}

void NetConfigDialog::Fill(const Values& values) {
    SetDlgItemTextA(m_window.Get(), kServerName, values.server.c_str());
    SetDlgItemTextA(m_window.Get(), kTcpPort, values.tcpPort.c_str());
    SetDlgItemTextA(m_window.Get(), kHttpPort, values.httpPort.c_str());
    SetDlgItemTextA(m_window.Get(), kWorkstationName, values.workstationName.c_str());
}

std::string NetConfigDialog::FieldText(int controlId) const {
    HWND field = GetDlgItem(m_window.Get(), controlId);
    if (field == nullptr) {
        return {};
    }
    int length = GetWindowTextLengthA(field);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    int copied = GetWindowTextA(field, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

NetConfigDialog::Values NetConfigDialog::Read() const {
    return Values{FieldText(kServerName), FieldText(kTcpPort), FieldText(kHttpPort),
                  FieldText(kWorkstationName)};
}

void NetConfigDialog::Show() {
    if (!m_window) {
        return;
    }
    ShowWindow(m_window.Get(), SW_SHOW);
    SetForegroundWindow(m_window.Get());
    FocusField(kServerName);
}

void NetConfigDialog::Hide() {
    if (m_window) {
        ShowWindow(m_window.Get(), SW_HIDE);
    }
}

bool NetConfigDialog::Visible() const {
    return m_window && IsWindowVisible(m_window.Get());
}

void NetConfigDialog::FocusField(int controlId) {
    HWND field = GetDlgItem(m_window.Get(), controlId);
    if (field != nullptr) {
        SendMessageA(m_window.Get(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
    }
}

void NetConfigDialog::ShowMessage(const std::string& text) {
    MessageBoxA(m_window.Get(), text.c_str(), "NetConfig 2003", MB_OK | MB_ICONEXCLAMATION);
}

INT_PTR CALLBACK NetConfigDialog::DialogProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        return TRUE;
    }
    auto* dialog = reinterpret_cast<NetConfigDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (dialog == nullptr) {
        return FALSE;
    }
    if (message == WM_CLOSE) {
        // The close box counts as Cancel; the dialog is never destroyed by it.
        if (dialog->m_events.onCancel) {
            Guarded("NetConfig close", dialog->m_events.onCancel);
        }
        return TRUE;
    }
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) {
        return FALSE;
    }
    switch (LOWORD(wParam)) {
        case IDOK:
            if (dialog->m_events.onOk) {
                Guarded("NetConfig OK", dialog->m_events.onOk);
            }
            return TRUE;
        case IDCANCEL:
            if (dialog->m_events.onCancel) {
                Guarded("NetConfig Cancel", dialog->m_events.onCancel);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace ko
