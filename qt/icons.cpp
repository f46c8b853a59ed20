#include "qt/icons.h"

#include "res/resources.h"

namespace qtfront {

QPixmap IconPixmap(platform::IconHandle id) {
    QPixmap pixmap;
    if (const res::IconResource* icon = res::FindIcon(id)) {
        pixmap.loadFromData(icon->png.data(), static_cast<uint>(icon->png.size()), "PNG");
    }
    return pixmap;
}

QIcon WindowIcon(platform::IconHandle id) {
    const QPixmap pixmap = IconPixmap(id);
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

}  // namespace qtfront
