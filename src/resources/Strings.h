// The string table: every sentence the operator can see lives here, byte for byte as shown.
#pragma once

#include <string_view>

namespace omblor::resources {

// The string resource with that ID, or empty text when there is none.
std::string_view LoadStringResource(int id);

// The project's version, shown in the About box.
std::string_view VersionText();

}  // namespace omblor::resources
