// Message maps: small declarative tables from (message, control ID) to member functions, so a
// dialog lists what it handles in one place. A dialog returns its table from GetMessageMap().
#pragma once

#include <cstdint>
#include <span>

#include "framework/WinTypes.h"

namespace omblor::framework {

class CDialog;

struct MessageMapEntry {
    Message message = Message::Command;
    int id = 0;  // control ID for commands; unused otherwise
    void (*thunk)(CDialog& dialog, const void* member, std::uintptr_t wParam,
                  std::intptr_t lParam) = nullptr;
    const void* member = nullptr;
};

using MessageMap = std::span<const MessageMapEntry>;

namespace detail {
template <class D>
struct Members {
    static void Command(CDialog& d, const void* m, std::uintptr_t, std::intptr_t) {
        (static_cast<D&>(d).**static_cast<void (D::*const*)()>(m))();
    }
    static void Timer(CDialog& d, const void* m, std::uintptr_t w, std::intptr_t) {
        (static_cast<D&>(d).**static_cast<void (D::*const*)(std::uintptr_t)>(m))(w);
    }
    static void SysCommand(CDialog& d, const void* m, std::uintptr_t w, std::intptr_t l) {
        (static_cast<D&>(d).**static_cast<void (D::*const*)(unsigned, std::intptr_t)>(m))(
            static_cast<unsigned>(w), l);
    }
};
}  // namespace detail

// The member pointer must outlive the table: declare both as static members or statics in the
// function that returns the map, e.g.
//   static constexpr auto kFind = &COmblorDlg::OnFind;
//   static const MessageMapEntry kMap[] = {OnCommandEntry<COmblorDlg>(IDC_FIND, &kFind)};
template <class D>
MessageMapEntry OnCommandEntry(int id, void (D::*const* member)()) {
    return {Message::Command, id, &detail::Members<D>::Command, member};
}
template <class D>
MessageMapEntry OnTimerEntry(void (D::*const* member)(std::uintptr_t)) {
    return {Message::Timer, 0, &detail::Members<D>::Timer, member};
}
template <class D>
MessageMapEntry OnSysCommandEntry(void (D::*const* member)(unsigned, std::intptr_t)) {
    return {Message::SysCommand, 0, &detail::Members<D>::SysCommand, member};
}

}  // namespace omblor::framework
