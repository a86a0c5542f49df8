#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ko {

// What the page says about one field or element. Elements are found the way the document's
// `all` collection finds them: by id or by name, compared exactly; several matches make the
// lookup ambiguous, and an ambiguous element is neither read nor written.
struct FieldValue {
    enum class State : std::uint8_t { Missing, Present, Ambiguous };
    State state = State::Missing;
    // ANSI text: the element's `value` property where it has one (inputs, selects, text areas,
    // buttons), else its "value" attribute; an element with neither is Missing.
    std::string value;

    static FieldValue Present(std::string text) { return {State::Present, std::move(text)}; }
    static FieldValue Ambiguous() { return {State::Ambiguous, {}}; }
    bool IsPresent() const { return state == State::Present; }
    friend bool operator==(const FieldValue&, const FieldValue&) = default;
};

// The four layout values a page carries: the value (as FieldValue reads it) of the first element
// of each of the tags "KoWidth", "KoHeight", "koVerticalPosition" and "koHorizontalPosition"
// (tag names compare without regard to case). Nothing when the page has no such element or it
// has no value.
struct LayoutValues {
    std::optional<std::string> width;
    std::optional<std::string> height;
    std::optional<std::string> verticalPosition;
    std::optional<std::string> horizontalPosition;
    friend bool operator==(const LayoutValues&, const LayoutValues&) = default;
};

// The top document of a view has finished loading (frames never report). Each completion gets
// the next generation number of its view; clicks carry the generation of their document.
struct DocumentInfo {
    std::uint32_t generation = 0;
    // Location() at the moment of completion.
    std::string location;
    LayoutValues layout;
    // The top-level load failed (no answer, a refused address) or the server answered with an
    // error status (400 or above): what shows is not the page asked for.
    bool failed = false;
};

// One element on the way up from a clicked element.
struct ClickedElement {
    std::string id;  // empty when the element has none
    // The attributes "KoCustomer" and "fileName" (names compared without regard to case); nothing
    // when the element lacks them.
    std::optional<std::string> koCustomer;
    std::optional<std::string> fileName;
    friend bool operator==(const ClickedElement&, const ClickedElement&) = default;
};

// The page fields every click carries, read when the click happens (the resolver decides later
// which it uses). Besides these, when "cbServices" is present its value V names five more
// fields: V + each of kServiceFieldSuffixes ("12txtsPrice" for service 12).
inline constexpr std::array<const char*, 7> kClickFieldIds = {
    "txtCustomerID", "txtPassword", "txtNewPassword",     "txtVerifyPassword",
    "cbServices",    "txtQuantity", "txtSecurityPassword"};
inline constexpr const char* kServiceChooserId = "cbServices";
inline constexpr std::array<const char*, 5> kServiceFieldSuffixes = {
    "txtsDescription", "txtsPrice", "txtsUnit", "txtsType", "txtsTax"};
// The clicked element and at most 101 ancestors.
inline constexpr std::size_t kMaxClickChain = 102;

// A click on the page (the document's onclick, trusted or not). The values may be passwords:
// neither the adapters nor the core ever log them.
struct ClickInfo {
    std::uint32_t generation = 0;
    // From the clicked element upwards to the root element, at most kMaxClickChain entries. Empty
    // when the click hit no element (the strip and advertising windows react to any click).
    std::vector<ClickedElement> chain;
    // Every id of kClickFieldIds, and the five service fields when the chooser is present, keyed
    // by the id that was looked up; each present, missing or ambiguous.
    std::map<std::string, FieldValue> fields;
};

// Shift bits as the system's key events give them: 1 Shift, 2 Ctrl, 4 Alt.
struct KeyInfo {
    std::int32_t keyCode = 0;  // virtual-key code: 117 is F6
    std::int32_t shift = 0;
    friend bool operator==(const KeyInfo&, const KeyInfo&) = default;
};

// The page side of a kiosk window: one embedded browser that fills the window's client area.
// Calls carry their data in and return at once (an asynchronous engine finishes them later);
// results come back only as posted events. Values go into pages as data: the adapters never
// splice them into script text.
class BrowserView {
  public:
    virtual ~BrowserView() = default;

    // Loads an address without a history entry: the view has no back or forward, and the page
    // cannot go back either. Local files are given as absolute paths or "file://" addresses.
    virtual void Navigate(const std::string& url) = 0;
    // Stops every load and shows an empty page ("about:blank") at once: nothing of the last page
    // (its sound, its scripts, its timers) goes on. Reported as a navigation and a completion
    // like any other.
    virtual void Blank() = 0;
    // Replaces the current document's body.innerHTML (the waiting notice before a server page).
    virtual void SetBodyHtml(const std::string& html) = 0;
    // Sets innerText of each element named by id (or name); missing and ambiguous ones are
    // skipped, the others still written. One call for all, in the given order.
    virtual void SetInnerTexts(const std::vector<std::pair<std::string, std::string>>& texts) = 0;
    // Stops loading.
    virtual void Stop() = 0;
    // The address the core asked for while the shown (or loading) document comes from that
    // request, redirects included; once the page goes elsewhere on its own or the load fails,
    // the engine's address. The engine's normalised form would differ from the request (":80"
    // dropped, host lower-cased) and make the core reload the page at every status.
    virtual std::string Location() const = 0;
};

}  // namespace ko
