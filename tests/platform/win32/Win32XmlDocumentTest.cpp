#include <gtest/gtest.h>

#include "platform/XmlDocumentContract.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32XmlDocument.h"

namespace ko {
namespace {

// Wine's component parses the body of any answer, 404 included, and leaves a document's own
// entities empty; the Windows one reports an http error as a failed load and expands them.
bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class Win32XmlDocumentTest : public ::testing::Test {
  protected:
    test::XmlDocumentFactory Factory() {
        return [this](std::uint32_t timeoutMs, std::size_t maxBytes) {
            return std::make_unique<Win32XmlDocument>(m_loop, timeoutMs, maxBytes);
        };
    }

    ComApartment m_apartment;
    Win32EventLoop m_loop;
};

TEST_F(Win32XmlDocumentTest, ReadsTheSharedTableOfDocuments) {
    ASSERT_TRUE(m_apartment.Ok());
    test::RunXmlDocumentContract(m_loop, Factory(), !UnderWine(), !UnderWine());
}

TEST_F(Win32XmlDocumentTest, ANewerLoadCancelsTheOlder) {
    test::RunXmlReplacedLoadContract(m_loop, Factory());
}

// Wine's component loads inside load() (the loop cannot cut it off there), so only the empty
// document is checked; that the limit cuts a silent server off at 30 s needs real Windows.
TEST_F(Win32XmlDocumentTest, ASilentServerGivesTheEmptyDocument) {
    test::RunXmlSlowServerContract(m_loop, Factory(), 700, 2000);
}

}  // namespace
}  // namespace ko
