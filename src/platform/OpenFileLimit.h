// Programs that hold a connection per module (omblorctl, module-sim with many modules) need more
// descriptors than the usual soft limit of 1024.
#pragma once

namespace omblor::platform {

// Raises this process's soft limit on open descriptors to its hard limit; false when it could not.
bool RaiseOpenFileLimit();

}  // namespace omblor::platform
