#pragma once

#include <exception>
#include <string>
#include <utility>

#include "shared/Logger.h"

namespace ko {

// The failure policy at every event entry point: whatever a handler throws is caught, logged and
// dropped, so no handler ever stops the program and no exception crosses an OS callback.
template <typename Fn>
void Guarded(const char* where, Fn&& fn) noexcept {
    try {
        std::forward<Fn>(fn)();
    } catch (const std::exception& e) {
        try {
            Logger::Error(std::string(where) + ": " + e.what());
        } catch (...) {
        }
    } catch (...) {
        try {
            Logger::Error(std::string(where) + ": unknown failure");
        } catch (...) {
        }
    }
}

}  // namespace ko
