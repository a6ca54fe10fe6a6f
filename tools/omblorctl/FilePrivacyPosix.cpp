#include <sys/stat.h>

#include "FilePrivacy.h"

namespace omblor::ctl {

bool ReadableByOthers(const std::string& path) {
    struct stat status {};
    // A pipe or a terminal keeps nothing lying around for others to read later.
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           (status.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

}  // namespace omblor::ctl
