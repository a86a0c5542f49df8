#pragma once

// The notices hook.dll posts to the window given to SetShellHook and SetCBTHook, with wParam =
// the window concerned. The agent's side and the library share these numbers.
namespace ko::hook {

// A new unowned top-level window was shown.
inline constexpr unsigned kNoticeWindowCreated = 1027;
// A window was activated; never posted for a null window.
inline constexpr unsigned kNoticeWindowActivated = 1029;
// A top-level window that was announced as created ended.
inline constexpr unsigned kNoticeWindowDestroyed = 1032;

}  // namespace ko::hook
