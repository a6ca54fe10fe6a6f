// Where the password for --user comes from: the first line of --password-file, else the
// environment's OMBLOR_PASSWORD (taken out of the environment), else one prompt on the terminal
// without echo. It is never printed, logged or written anywhere, and every copy is wiped.
#pragma once

#include <optional>
#include <string>

#include "update/UpdateSession.h"

namespace omblor::ctl {

// The credentials for `user`, or nothing with `error` saying why (no source, unreadable file,
// prompt interrupted).
std::optional<update::Credentials> ReadCredentials(const std::string& user,
                                                   const std::string& passwordFile,
                                                   std::string& error);

}  // namespace omblor::ctl
