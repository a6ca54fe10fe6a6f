#include "framework/qt/QtArtwork.h"

#include <QPixmap>

#include "resources/Artwork.h"

namespace omblor::framework {

QIcon AppIcon() {
    static const QIcon icon(QPixmap(resources::AppIconXpm().data()));
    return icon;
}

QIcon StateImage(int index) {
    static const QPixmap strip(resources::StateImagesXpm().data());
    if (index <= 0 || index * resources::kStateImageWidth >= strip.width()) return {};
    return QIcon(strip.copy(index * resources::kStateImageWidth, 0, resources::kStateImageWidth,
                            strip.height()));
}

}  // namespace omblor::framework
