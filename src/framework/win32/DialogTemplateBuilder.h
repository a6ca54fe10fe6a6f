// The dialog manager's in-memory form of one of the program's dialog templates (DLGTEMPLATE and
// its DLGITEMTEMPLATEs): the same IDs, texts, dialog-unit geometry and tab order, with the
// Windows classes and styles of each kind of control, in "MS Sans Serif" 8 point.
#pragma once

#include <cstdint>
#include <vector>

namespace omblor::resources {
struct DialogTemplate;
}

namespace omblor::framework::win32 {

// Words, so the block starts DWORD-aligned wherever the vector puts it.
std::vector<std::uint32_t> BuildDialogTemplate(const resources::DialogTemplate& dialog);

}  // namespace omblor::framework::win32
