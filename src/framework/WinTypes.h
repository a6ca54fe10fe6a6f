// The handful of window-system constants and types the dialogs are written against: dialog
// results, message-box flags, tree-item handles and the message kinds of a message map.
#pragma once

#include <cstdint>

// <windows.h> (which Winsock brings along) and <commctrl.h> define some of these names as macros
// with the same values; the framework's typed constants take their place, whichever header came
// first.
#undef IDOK
#undef IDCANCEL
#undef MB_OK
#undef MB_ICONWARNING
#undef TVI_ROOT
#undef TVI_LAST
#undef TVIS_STATEIMAGEMASK
#undef TVSIL_STATE
#undef INDEXTOSTATEIMAGEMASK

namespace omblor::framework {

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

inline constexpr unsigned MB_OK = 0x0000;
inline constexpr unsigned MB_ICONWARNING = 0x0030;

// Tree items are opaque handles; 0 is "no item".
using HTREEITEM = std::uintptr_t;
inline constexpr HTREEITEM TVI_ROOT = static_cast<HTREEITEM>(-0x10000);
inline constexpr HTREEITEM TVI_LAST = static_cast<HTREEITEM>(-0xFFFE);
inline constexpr unsigned TVIS_STATEIMAGEMASK = 0xF000;
inline constexpr unsigned TVSIL_STATE = 2;
inline constexpr unsigned INDEXTOSTATEIMAGEMASK(unsigned i) {
    return i << 12;
}

// What a message-map entry reacts to.
enum class Message { Command, Timer, SysCommand };

}  // namespace omblor::framework
