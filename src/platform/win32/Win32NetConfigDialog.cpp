#include "platform/win32/Win32NetConfigDialog.h"

#include "platform/win32/Win32EventLoop.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

namespace {

constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;
// An item style bit the template writer turns into "not visible" (WS_VISIBLE is what it sets).
constexpr DWORD kHidden = WS_VISIBLE;
// Client heights in twips: the four rows, with the password row, and the problem line's place.
constexpr int kClientHeight = 1815;
constexpr int kClientHeightWithPassword = 2175;
constexpr int kProblemLineHeight = 300;
constexpr int kProblemTop = kClientHeightWithPassword - 60;

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
        ++m_items;
        // kHidden marks the items that start hidden.
        Dword((style & ~kHidden) | WS_CHILD | ((style & kHidden) != 0 ? 0 : WS_VISIBLE));
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
    // The header's item count (the word after style and extended style) is filled in here, so
    // it always matches the items written.
    std::vector<WORD> Take() {
        m_words.at(4) = m_items;
        return std::move(m_words);
    }

  private:
    std::vector<WORD> m_words;
    WORD m_items = 0;
};

}  // namespace

std::vector<WORD> Win32NetConfigDialog::BuildTemplate() {
    TemplateWriter writer;
    writer.Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER);
    writer.Dword(0);
    writer.Word(0);  // item count, filled in by Take()
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
    // Shown only when the security password is asked.
    writer.Item(kLabel | kHidden, 150, 1657, 2400, 260, kSecurityPasswordLabel, kStaticClass,
                "Security Password");
    writer.Item(kField | ES_PASSWORD | kHidden, 2640, 1640, 1600, 295, kSecurityPassword,
                kEditClass, "");
    writer.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 4560, 120, 1170, 360, IDOK, kButtonClass, "OK");
    writer.Item(BS_PUSHBUTTON | WS_TABSTOP, 4560, 540, 1170, 360, IDCANCEL, kButtonClass, "Cancel");
    // Names a field the program refused; placed below the rows when shown.
    writer.Item(kLabel | kHidden, 150, kProblemTop, 5580, 260, kProblemLine, kStaticClass, "");
    return writer.Take();
}

Win32NetConfigDialog::Win32NetConfigDialog(Win32EventLoop& loop, NetConfigEvents& events)
    : m_loop(loop), m_events(events) {
    std::vector<WORD> dialogTemplate = BuildTemplate();
    // No owner: the dialog is a window of its own.
    m_window.Reset(CreateDialogIndirectParamA(
        GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data()),
        nullptr, &DialogProc, reinterpret_cast<LPARAM>(this)));
    if (!m_window) {
        Logger::Error("Win32NetConfigDialog: dialog not created");
        return;
    }
    FitToRows();
    HWND dialog = m_window.Get();
    m_filter = m_loop.AddMessageFilter([dialog](const MSG& msg) {
        return (msg.hwnd == dialog || IsChild(dialog, msg.hwnd)) &&
               IsDialogMessageA(dialog, const_cast<MSG*>(&msg));
    });
}

Win32NetConfigDialog::~Win32NetConfigDialog() {
    m_alive.reset();
    if (m_filter != 0) {
        m_loop.RemoveMessageFilter(m_filter);
    }
    if (m_window) {
        SetWindowLongPtrA(m_window.Get(), DWLP_USER, 0);
    }
}

void Win32NetConfigDialog::Post(std::function<void(NetConfigEvents&)> notice) {
    std::weak_ptr<bool> alive = m_alive;
    NetConfigEvents* sink = &m_events;
    m_loop.Post([alive, sink, notice = std::move(notice)] {
        if (alive.lock()) {
            notice(*sink);
        }
    });
}

void Win32NetConfigDialog::FitToRows() {
    HWND dialog = m_window.Get();
    int rowsHeight = m_askPassword ? kClientHeightWithPassword : kClientHeight;
    RECT line = {DluX(150), DluY(rowsHeight - 60), DluX(150 + 5580), DluY(rowsHeight - 60 + 260)};
    RECT client = {0, 0, DluX(6270), DluY(rowsHeight + (m_problemShown ? kProblemLineHeight : 0))};
    MapDialogRect(dialog, &line);
    MapDialogRect(dialog, &client);
    SetWindowPos(GetDlgItem(dialog, kProblemLine), nullptr, line.left, line.top,
                 line.right - line.left, line.bottom - line.top, SWP_NOZORDER | SWP_NOACTIVATE);
    AdjustWindowRectEx(&client, static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE)));
    SetWindowPos(dialog, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string Win32NetConfigDialog::FieldText(int controlId) const {
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

void Win32NetConfigDialog::Show(const NetConfigFields& fields, bool askSecurityPassword) {
    if (!m_window) {
        return;
    }
    HWND dialog = m_window.Get();
    SetDlgItemTextA(dialog, kServerName, fields.serverName.c_str());
    SetDlgItemTextA(dialog, kTcpPort, fields.tcpPort.c_str());
    SetDlgItemTextA(dialog, kHttpPort, fields.httpPort.c_str());
    SetDlgItemTextA(dialog, kWorkstationName, fields.workstationName.c_str());
    SetDlgItemTextA(dialog, kSecurityPassword, "");
    SetDlgItemTextA(dialog, kProblemLine, "");
    m_askPassword = askSecurityPassword;
    m_problemShown = false;
    int passwordShow = askSecurityPassword ? SW_SHOW : SW_HIDE;
    ShowWindow(GetDlgItem(dialog, kSecurityPasswordLabel), passwordShow);
    ShowWindow(GetDlgItem(dialog, kSecurityPassword), passwordShow);
    ShowWindow(GetDlgItem(dialog, kProblemLine), SW_HIDE);
    FitToRows();
    ShowWindow(dialog, SW_SHOW);
    SetForegroundWindow(dialog);
    m_visible = true;
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, kServerName)),
                 TRUE);
}

void Win32NetConfigDialog::Hide() {
    if (m_window) {
        ShowWindow(m_window.Get(), SW_HIDE);
    }
    m_visible = false;
}

void Win32NetConfigDialog::SetTopmost(bool topmost) {
    if (m_window) {
        SetWindowPos(m_window.Get(), topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void Win32NetConfigDialog::ShowInvalid(NetConfigField field, const std::string& text) {
    if (!m_window) {
        return;
    }
    HWND dialog = m_window.Get();
    // A line in the dialog rather than a message box: no nested modal loop in the middle of the
    // program's handler.
    SetDlgItemTextA(dialog, kProblemLine, text.c_str());
    ShowWindow(GetDlgItem(dialog, kProblemLine), SW_SHOW);
    m_problemShown = true;
    FitToRows();
    MessageBeep(MB_ICONEXCLAMATION);
    int controlId = kServerName;
    switch (field) {
        case NetConfigField::ServerName:
            controlId = kServerName;
            break;
        case NetConfigField::TcpPort:
            controlId = kTcpPort;
            break;
        case NetConfigField::HttpPort:
            controlId = kHttpPort;
            break;
        case NetConfigField::WorkstationName:
            controlId = kWorkstationName;
            break;
        case NetConfigField::SecurityPassword:
            controlId = kSecurityPassword;
            break;
    }
    HWND box = GetDlgItem(dialog, controlId);
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(box), TRUE);
    SendMessageA(box, EM_SETSEL, 0, -1);
}

void Win32NetConfigDialog::OnOk() {
    NetConfigFields typed{FieldText(kServerName), FieldText(kTcpPort), FieldText(kHttpPort),
                          FieldText(kWorkstationName)};
    std::string password = m_askPassword ? FieldText(kSecurityPassword) : std::string();
    Post([typed, password](NetConfigEvents& sink) { sink.OnOk(typed, password); });
}

INT_PTR CALLBACK Win32NetConfigDialog::DialogProc(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        return TRUE;
    }
    auto* dialog = reinterpret_cast<Win32NetConfigDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (dialog == nullptr) {
        return FALSE;
    }
    bool clicked = message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED;
    if (clicked && LOWORD(wParam) == IDOK) {
        Guarded("NetConfig OK", [dialog] { dialog->OnOk(); });
        return TRUE;
    }
    if (message == WM_CLOSE || (clicked && LOWORD(wParam) == IDCANCEL)) {
        // The close box and Esc count as Cancel; the dialog is never destroyed by them.
        Guarded("NetConfig Cancel",
                [dialog] { dialog->Post([](NetConfigEvents& sink) { sink.OnCancel(); }); });
        return TRUE;
    }
    return FALSE;
}

}  // namespace ko
