// Message boxes in the house convention: an OK button, the warning icon, the application's title
// as caption. Modal: the event loop keeps running while the box is open.
#pragma once

#include <string_view>

#include "framework/WinTypes.h"

namespace omblor::framework {

int AfxMessageBox(std::string_view text, unsigned type = MB_OK | MB_ICONWARNING);
// The box with a details part (Host::MessageBoxWithDetails); empty details show none.
int AfxMessageBoxWithDetails(std::string_view text, std::string_view details,
                             unsigned type = MB_OK | MB_ICONWARNING);

}  // namespace omblor::framework
