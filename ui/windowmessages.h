// The program's window message numbers, in one place for the windows and their controls.
#pragma once

namespace pixhaven {

inline constexpr int WM_USER = 1024;

inline constexpr int WM_LIST_CHECK_CHANGED = WM_USER + 100;
inline constexpr int WM_LIST_CHECK_ALL = WM_USER + 104;  // file list: wParam 1 check, 0 uncheck
inline constexpr int WM_TREE_CHECK_CHANGED = WM_USER + 105;
// One per preview pane: the first pane's number + its position (0-7).
inline constexpr int WM_THUMB_CHECK_CHANGED = WM_USER + 106;
inline constexpr int WM_SCAN_FINISHED = WM_USER + 115;
inline constexpr int WM_RECOVER_FINISHED = WM_USER + 116;
inline constexpr int WM_PAGE_PREV = WM_USER + 117;
inline constexpr int WM_PAGE_NEXT = WM_USER + 118;
inline constexpr int WM_PAGE_GOTO = WM_USER + 119;
inline constexpr int WM_UPDATE_CHECKED = WM_USER + 122;
inline constexpr int PBM_SETPOS = WM_USER + 2;

}  // namespace pixhaven
