#pragma once

#include <objbase.h>
#include <unknwn.h>

#include <cstddef>
#include <utility>

namespace ko {

// Owns one reference to a COM interface. Copies add a reference, moves hand it over, and Put()
// releases the old interface before handing out the address for an out-parameter.
template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Shares p: takes a new reference of its own.
    explicit ComPtr(T* p) : m_ptr(p) {
        if (m_ptr != nullptr) {
            m_ptr->AddRef();
        }
    }
    ~ComPtr() { Reset(); }

    ComPtr(const ComPtr& other) : ComPtr(other.m_ptr) {}
    ComPtr& operator=(const ComPtr& other) {
        if (this != &other) {
            ComPtr copy(other);
            Swap(copy);
        }
        return *this;
    }
    ComPtr(ComPtr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Attach(std::exchange(other.m_ptr, nullptr));
        }
        return *this;
    }

    T* Get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }

    // Takes over a reference the caller owns (no AddRef); releases the current one.
    void Attach(T* p) {
        T* old = std::exchange(m_ptr, p);
        if (old != nullptr) {
            old->Release();
        }
    }
    // Gives the reference to the caller, who must release it.
    T* Detach() { return std::exchange(m_ptr, nullptr); }
    void Reset() { Attach(nullptr); }

    T** Put() {
        Reset();
        return &m_ptr;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    void Swap(ComPtr& other) noexcept { std::swap(m_ptr, other.m_ptr); }

    // Asks the object for another of its interfaces; out is empty unless this succeeds.
    template <typename U>
    HRESULT QueryInterface(REFIID iid, ComPtr<U>& out) const {
        if (m_ptr == nullptr) {
            out.Reset();
            return E_POINTER;
        }
        HRESULT result = m_ptr->QueryInterface(iid, out.PutVoid());
        if (FAILED(result)) {
            out.Reset();
        }
        return result;
    }

  private:
    T* m_ptr = nullptr;
};

}  // namespace ko
