// The resources' pictures as Qt icons.
#pragma once

#include <QIcon>

namespace omblor::framework {

QIcon AppIcon();
// State image `index` (1..7) of the device tree's strip; an empty icon for others.
QIcon StateImage(int index);

}  // namespace omblor::framework
