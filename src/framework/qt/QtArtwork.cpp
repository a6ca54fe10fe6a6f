#include "framework/qt/QtArtwork.h"

#include <QPixmap>
#include <vector>

#include "resources/Artwork.h"

namespace omblor::framework {

QIcon AppIcon() {
    static const QIcon icon(QPixmap(resources::AppIconXpm().data()));
    return icon;
}

QIcon StateImage(int index) {
    // Cut once: a tree of thousands of modules asks for these once per item.
    static const std::vector<QIcon> images = [] {
        const QPixmap strip(resources::StateImagesXpm().data());
        std::vector<QIcon> cut(1);  // index 0: no picture
        for (int i = 1; (i + 1) * resources::kStateImageWidth <= strip.width(); ++i) {
            cut.emplace_back(strip.copy(i * resources::kStateImageWidth, 0,
                                        resources::kStateImageWidth, strip.height()));
        }
        return cut;
    }();
    return index > 0 && static_cast<std::size_t>(index) < images.size() ? images[index] : QIcon();
}

}  // namespace omblor::framework
