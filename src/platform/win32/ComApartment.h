#pragma once

#include <objbase.h>

namespace ko {

// Enters a single-threaded COM apartment on the calling thread for as long as it lives. Nesting is
// allowed: every successful CoInitialize (S_OK or S_FALSE) is balanced by CoUninitialize.
class ComApartment {
  public:
    ComApartment();
    ~ComApartment();

    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    bool Ok() const { return SUCCEEDED(m_result); }
    HRESULT Result() const { return m_result; }

  private:
    HRESULT m_result;
};

}  // namespace ko
