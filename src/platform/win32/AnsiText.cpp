#include "platform/win32/AnsiText.h"

#include <climits>
#include <utility>

namespace ko {

std::wstring AnsiToWide(std::string_view ansi) {
    if (ansi.empty() || ansi.size() > INT_MAX) {
        return {};
    }
    int length = static_cast<int>(ansi.size());
    int needed = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    if (needed <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, wide.data(), needed);
    return wide;
}

std::string WideToAnsi(const wchar_t* wide, std::size_t length) {
    if (wide == nullptr || length == 0 || length > INT_MAX) {
        return {};
    }
    int count = static_cast<int>(length);
    // What the code page cannot hold becomes "?", never a best-fit look-alike: a full-width
    // solidus guessed as "/" would turn a user or file name from outside into a path step.
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    int needed = WideCharToMultiByte(CP_ACP, flags, wide, count, nullptr, 0, "?", nullptr);
    if (needed <= 0) {
        // Code pages without best-fit tables (UTF-8, some DBCS ones) refuse the flag.
        flags = 0;
        needed = WideCharToMultiByte(CP_ACP, flags, wide, count, nullptr, 0, "?", nullptr);
    }
    if (needed <= 0) {
        return {};
    }
    std::string ansi(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, flags, wide, count, ansi.data(), needed, "?", nullptr);
    return ansi;
}

std::string WideToAnsi(std::wstring_view wide) {
    return WideToAnsi(wide.data(), wide.size());
}

UniqueBstr::UniqueBstr(std::string_view ansi) {
    std::wstring wide = AnsiToWide(ansi);
    // An empty text still gets a real (empty) BSTR: some properties refuse NULL.
    m_value = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

UniqueBstr& UniqueBstr::operator=(UniqueBstr&& other) noexcept {
    if (this != &other) {
        Reset();
        m_value = std::exchange(other.m_value, nullptr);
    }
    return *this;
}

BSTR* UniqueBstr::Put() {
    Reset();
    return &m_value;
}

void UniqueBstr::Reset() {
    if (m_value != nullptr) {
        SysFreeString(m_value);
        m_value = nullptr;
    }
}

std::string UniqueBstr::Ansi() const {
    return m_value == nullptr ? std::string() : WideToAnsi(m_value, SysStringLen(m_value));
}

bool UniqueVariant::ToAnsi(std::string& out) const {
    if (m_value.vt == VT_EMPTY || m_value.vt == VT_NULL) {
        return false;
    }
    if (m_value.vt == VT_BSTR) {
        out = m_value.bstrVal == nullptr
                  ? std::string()
                  : WideToAnsi(m_value.bstrVal, SysStringLen(m_value.bstrVal));
        return true;
    }
    VARIANT text;
    VariantInit(&text);
    if (FAILED(VariantChangeType(&text, const_cast<VARIANT*>(&m_value), 0, VT_BSTR))) {
        return false;
    }
    out = text.bstrVal == nullptr ? std::string()
                                  : WideToAnsi(text.bstrVal, SysStringLen(text.bstrVal));
    VariantClear(&text);
    return true;
}

}  // namespace ko
