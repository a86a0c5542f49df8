#pragma once

#include <utility>

namespace ko {

// Owns one OS resource. Traits gives the resource's type, its invalid value and how to close it:
//   struct Traits { using Type = ...; static Type Invalid(); static bool Close(Type); };
// Move-only. Put() resets before handing out the address, so an out-parameter never leaks.
template <typename Traits>
class UniqueResource {
  public:
    using Type = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(Type value) : m_value(value) {}
    ~UniqueResource() { Reset(); }

    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : m_value(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    Type Get() const { return m_value; }
    bool Valid() const { return m_value != Traits::Invalid(); }
    explicit operator bool() const { return Valid(); }

    Type Release() { return std::exchange(m_value, Traits::Invalid()); }

    // Closes the current resource (if any) and takes value. Returns false when closing failed;
    // the failure is kept for LastCloseFailed().
    bool Reset(Type value = Traits::Invalid()) {
        bool ok = true;
        Type old = std::exchange(m_value, value);
        if (old != Traits::Invalid()) {
            ok = Traits::Close(old);
            m_lastCloseFailed = !ok;
        }
        return ok;
    }

    // For APIs that return the resource through an out-parameter.
    Type* Put() {
        Reset();
        return &m_value;
    }

    bool LastCloseFailed() const { return m_lastCloseFailed; }

  private:
    Type m_value = Traits::Invalid();
    bool m_lastCloseFailed = false;
};

}  // namespace ko
