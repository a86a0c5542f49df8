// The WebBrowser control's host and the MSHTML reads. Wine's control navigates but has no HTML
// engine (its document stays empty), so these tests hold the host to creating, navigating,
// refusing and tearing down without a crash, and every document read to an empty answer.

#include "platform/win32/WebBrowserSite.h"

#include <gtest/gtest.h>

#include <exdispid.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/LoopTestSupport.h"
#include "platform/win32/AnsiText.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/DocumentEventHandler.h"
#include "platform/win32/HtmlDocumentAccess.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Frame.h"

namespace ko {
namespace {

TEST(AnsiText, ConvertsByTheAnsiCodePage) {
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the ANSI code page here is " << GetACP();
    }
    EXPECT_EQ(AnsiToWide("caf\xE9 \x80 5"), L"caf\u00E9 \u20AC 5");
    EXPECT_EQ(WideToAnsi(std::wstring_view(L"caf\u00E9 \u20AC 5")), "caf\xE9 \x80 5");
    // What the code page cannot show becomes "?".
    EXPECT_EQ(WideToAnsi(std::wstring_view(L"\u4E2D\u6587 ok")), "?? ok");
    // ... and so does what it would only guess at: a full-width solidus and full stops stay no
    // path step, an "A" with a ring below no plain "A".
    EXPECT_EQ(WideToAnsi(std::wstring_view(L"\uFF0E\uFF0E\uFF0Fx \u1E00")), "???x ?");
    UniqueBstr text("\xE9t\xE9");
    ASSERT_TRUE(text.Allocated());
    EXPECT_EQ(SysStringLen(text.Get()), 3u);
    EXPECT_EQ(text.Ansi(), "\xE9t\xE9");
    // Embedded zero bytes survive both ways.
    std::string withZero("a\0b", 3);
    EXPECT_EQ(UniqueBstr(withZero).Ansi(), withZero);
}

TEST(AnsiText, EmptyAndNullStringsAndVariants) {
    UniqueBstr empty("");
    EXPECT_TRUE(empty.Allocated());
    EXPECT_EQ(empty.Ansi(), "");
    UniqueBstr none;
    EXPECT_EQ(none.Ansi(), "");

    std::string out = "kept";
    UniqueVariant variant;
    EXPECT_FALSE(variant.ToAnsi(out));  // VT_EMPTY
    variant.Get()->vt = VT_NULL;
    EXPECT_FALSE(variant.ToAnsi(out));
    EXPECT_EQ(out, "kept");
    variant.Put()->vt = VT_I4;
    variant.Get()->lVal = -12;
    ASSERT_TRUE(variant.ToAnsi(out));
    EXPECT_EQ(out, "-12");
}

TEST(DocumentEventHandler, ReturnsTheHandlersAnswerAndNothingOnceDetached) {
    int calls = 0;
    bool answer = false;
    ComPtr<DocumentEventHandler> handler = DocumentEventHandler::Create([&] {
        ++calls;
        return answer;
    });
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(handler->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr,
                              nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_FALSE);
    answer = true;
    handler->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    EXPECT_EQ(calls, 2);

    // A handler that throws lets the browser go on; a detached one calls nobody.
    ComPtr<DocumentEventHandler> throwing =
        DocumentEventHandler::Create([]() -> bool { throw std::runtime_error("page gone"); });
    throwing->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    handler->Detach();
    handler->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(handler->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

class RecordingSiteListener : public WebBrowserSiteListener {
  public:
    void OnBeforeNavigate(bool topLevel, const std::string& url) override {
        starts.push_back((topLevel ? "top " : "frame ") + url);
    }
    void OnNavigateError(bool, const std::string& url, long) override { errors.push_back(url); }
    void OnDocumentComplete(bool topLevel, const std::string& url) override {
        completes.push_back((topLevel ? "top " : "frame ") + url);
    }
    bool ContextMenuBlocked() const override { return blockMenu; }

    std::vector<std::string> starts;
    std::vector<std::string> errors;
    std::vector<std::string> completes;
    bool blockMenu = true;
};

class WebBrowserSiteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(apartment.Ok());
        ASSERT_TRUE(frame.Created());
        frame.Resize(400, 300);
        site = WebBrowserSite::Create(frame.Handle(), &listener);
        ASSERT_TRUE(site) << "the WebBrowser control is missing";
    }
    void TearDown() override {
        if (site) {
            site->Close();
        }
    }
    // Wine's events, if any, arrive through the window messages of the control.
    void Settle() {
        RunFor(loop, 300, [] { return false; });
    }

    ComApartment apartment;
    Win32EventLoop loop;
    Win32Frame frame{Win32Frame::Style::Dialog, "Logon User", {}};
    RecordingSiteListener listener;
    ComPtr<WebBrowserSite> site;
};

TEST_F(WebBrowserSiteTest, HostsTheControlAndNavigatesWithoutHistory) {
    ASSERT_NE(site->Browser(), nullptr);
    UniqueVariant flags;
    flags.Get()->vt = VT_I4;
    flags.Get()->lVal = navNoHistory;
    UniqueVariant url;
    url.Get()->vt = VT_BSTR;
    url.Get()->bstrVal = SysAllocString(L"about:blank");
    UniqueVariant empty;
    EXPECT_TRUE(SUCCEEDED(
        site->Browser()->Navigate2(url.Get(), flags.Get(), empty.Get(), empty.Get(), empty.Get())));
    Settle();
    site->FitToWindow();
    site->Focus();
    frame.Resize(500, 350);
    site->FitToWindow();
    site->Browser()->Stop();
    Settle();
    // What a page-less engine gives: no document, and every read says so.
    ComPtr<IHTMLDocument2> document = HtmlDocumentAccess::DocumentOf(site->Browser());
    if (!document) {
        EXPECT_FALSE(HtmlDocumentAccess::SetBodyHtml(nullptr, " <body>wait</body>"));
        EXPECT_EQ(HtmlDocumentAccess::ReadValue(nullptr, "txtPassword").state,
                  FieldValue::State::Missing);
        EXPECT_FALSE(HtmlDocumentAccess::SetInnerText(nullptr, "lblAmount", "1.50"));
        EXPECT_FALSE(HtmlDocumentAccess::InnerText(nullptr, "lblAmount"));
        EXPECT_FALSE(HtmlDocumentAccess::FirstTagValue(nullptr, "KoWidth"));
        EXPECT_TRUE(HtmlDocumentAccess::EventChain(nullptr, 102).empty());
    }
}

TEST_F(WebBrowserSiteTest, RefusesNewWindowsAndReportsTopLevelEvents) {
    // The control calls its sink as below; new windows are cancelled whatever the page wants.
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[0].vt = VT_BYREF | VT_BOOL;  // Cancel (arguments come last-first)
    args[0].pboolVal = &cancel;
    IDispatch* newWindow = nullptr;
    args[1].vt = VT_BYREF | VT_DISPATCH;
    args[1].ppdispVal = &newWindow;
    DISPPARAMS params = {args, nullptr, 2, 0};
    site->Invoke(DISPID_NEWWINDOW2, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr,
                 nullptr);
    EXPECT_EQ(cancel, VARIANT_TRUE);

    VARIANT args3[5];
    for (VARIANT& arg : args3) {
        VariantInit(&arg);
    }
    cancel = VARIANT_FALSE;
    args3[3].vt = VT_BYREF | VT_BOOL;
    args3[3].pboolVal = &cancel;
    DISPPARAMS params3 = {args3, nullptr, 5, 0};
    site->Invoke(DISPID_NEWWINDOW3, IID_NULL, 0, DISPATCH_METHOD, &params3, nullptr, nullptr,
                 nullptr);
    EXPECT_EQ(cancel, VARIANT_TRUE);

    // DocumentComplete of the browser itself is top-level; of another object (a frame) not.
    UniqueBstr address("http://kosim:8080/ws/wsMain.asp?wsName=PC-07");
    VARIANT urlValue;
    VariantInit(&urlValue);
    urlValue.vt = VT_BSTR;
    urlValue.bstrVal = address.Get();
    VARIANT complete[2];
    complete[0].vt = VT_BYREF | VT_VARIANT;
    complete[0].pvarVal = &urlValue;
    complete[1].vt = VT_DISPATCH;
    complete[1].pdispVal = site->Browser();
    DISPPARAMS completeParams = {complete, nullptr, 2, 0};
    site->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, 0, DISPATCH_METHOD, &completeParams, nullptr,
                 nullptr, nullptr);
    complete[1].pdispVal = static_cast<IDispatch*>(site.Get());
    site->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, 0, DISPATCH_METHOD, &completeParams, nullptr,
                 nullptr, nullptr);
    ASSERT_GE(listener.completes.size(), 2u);
    EXPECT_EQ(listener.completes[listener.completes.size() - 2],
              "top http://kosim:8080/ws/wsMain.asp?wsName=PC-07");
    EXPECT_EQ(listener.completes.back(), "frame http://kosim:8080/ws/wsMain.asp?wsName=PC-07");

    // The context menu follows the view's choice; once closed, the site reports nothing.
    EXPECT_EQ(site->ShowContextMenu(0, nullptr, nullptr, nullptr), S_OK);
    listener.blockMenu = false;
    EXPECT_EQ(site->ShowContextMenu(0, nullptr, nullptr, nullptr), S_FALSE);
    site->Close();
    std::size_t before = listener.completes.size();
    site->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, 0, DISPATCH_METHOD, &completeParams, nullptr,
                 nullptr, nullptr);
    EXPECT_EQ(listener.completes.size(), before);
}

TEST_F(WebBrowserSiteTest, SwallowsReloadAndKeysThatOpenSomethingOutsideThePage) {
    MSG msg = {};
    msg.message = WM_KEYDOWN;
    msg.wParam = 'A';
    EXPECT_EQ(site->TranslateAccelerator(&msg, nullptr, 0), S_FALSE);
    msg.wParam = VK_F5;
    EXPECT_EQ(site->TranslateAccelerator(&msg, nullptr, 0), S_OK);
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    BYTE saved[256];
    std::memcpy(saved, keys, sizeof keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    msg.wParam = 'O';
    HRESULT withControl = site->TranslateAccelerator(&msg, nullptr, 0);
    msg.wParam = 'C';  // copying stays
    HRESULT copy = site->TranslateAccelerator(&msg, nullptr, 0);
    SetKeyboardState(saved);
    EXPECT_EQ(withControl, S_OK);
    EXPECT_EQ(copy, S_FALSE);

    // A script error goes on without a dialog.
    const GUID docHost = {
        0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(site->Exec(&docHost, OLECMDID_SHOWSCRIPTERROR, 0, nullptr, &out), S_OK);
    EXPECT_EQ(out.vt, VT_BOOL);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    EXPECT_NE(site->Exec(nullptr, OLECMDID_SHOWSCRIPTERROR, 0, nullptr, &out), S_OK);
    DOCHOSTUIINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_EQ(site->GetHostInfo(&info), S_OK);
    EXPECT_TRUE(info.dwFlags & DOCHOSTUIFLAG_NO3DBORDER);
}

}  // namespace
}  // namespace ko
