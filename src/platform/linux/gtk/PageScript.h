#pragma once

#include <string>

namespace ko {

// The scripts the kiosk runs in its pages. They run in a script world of their own, so the
// page's scripts can neither see nor replace them, and they never contain a value from the core
// or the server: values arrive as arguments of the function call.
namespace PageScript {

// The world the kiosk's scripts run in and the message channel the click script posts to.
inline constexpr const char* kWorld = "ostrel-kiosk";
inline constexpr const char* kClickChannel = "koClick";

// Injected at document start into the top frame: posts every click that reaches the document
// (the clicked element's chain and every field a click carries) and, when asked, cancels the
// click's default.
std::string ClickScript(bool cancelClickDefault);

// Bodies for an asynchronous function call.
// Returns [width, height, vertical, horizontal], each a text or null.
std::string ReadLayoutBody();
// Arguments: html (text). Replaces the body's inner HTML.
std::string SetBodyHtmlBody();
// Arguments: pairs (a JSON text: [[name, text], ...]). Sets innerText of each element found.
std::string SetInnerTextsBody();

}  // namespace PageScript
}  // namespace ko
