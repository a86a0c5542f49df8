#include "platform/win32/ComApartment.h"

namespace ko {

ComApartment::ComApartment() : m_result(CoInitialize(nullptr)) {}

ComApartment::~ComApartment() {
    if (SUCCEEDED(m_result)) {
        CoUninitialize();
    }
}

}  // namespace ko
