#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <string_view>

namespace ko {

// Texts cross the seam as ANSI bytes of the workstation's code page; COM speaks UTF-16. These
// convert between the two with the ANSI code page, as the system's own entry points would.
// Characters the code page lacks become "?".
std::wstring AnsiToWide(std::string_view ansi);
std::string WideToAnsi(const wchar_t* wide, std::size_t length);
std::string WideToAnsi(std::wstring_view wide);

// Owns one BSTR; frees it with SysFreeString.
class UniqueBstr {
  public:
    UniqueBstr() = default;
    explicit UniqueBstr(std::string_view ansi);
    ~UniqueBstr() { Reset(); }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    UniqueBstr(UniqueBstr&& other) noexcept : m_value(other.m_value) { other.m_value = nullptr; }
    UniqueBstr& operator=(UniqueBstr&& other) noexcept;

    BSTR Get() const { return m_value; }
    // Frees the current string and hands out the address for an out-parameter.
    BSTR* Put();
    void Reset();
    // The text in the ANSI code page; an empty BSTR and a NULL one both give "".
    std::string Ansi() const;
    // False only when SysAllocString failed for a non-empty text.
    bool Allocated() const { return m_value != nullptr; }

  private:
    BSTR m_value = nullptr;
};

// Owns one VARIANT; clears it with VariantClear.
class UniqueVariant {
  public:
    UniqueVariant() { VariantInit(&m_value); }
    ~UniqueVariant() { VariantClear(&m_value); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    VARIANT* Get() { return &m_value; }
    const VARIANT& Value() const { return m_value; }
    VARIANT* Put() {
        VariantClear(&m_value);
        return &m_value;
    }
    // The value as text in the ANSI code page, converted the way the system converts a variant
    // to a string; nothing for VT_EMPTY, VT_NULL and values that do not convert.
    bool ToAnsi(std::string& out) const;

  private:
    VARIANT m_value;
};

}  // namespace ko
