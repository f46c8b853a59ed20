// The program's icons (res/) as Qt pixmaps and icons.
#pragma once

#include <QIcon>
#include <QPixmap>

#include "platform/dialog_view.h"

namespace qtfront {

// The icon resource `id` at its own size; a null pixmap when there is none.
QPixmap IconPixmap(platform::IconHandle id);
// The same as a window icon; a null icon when there is none.
QIcon WindowIcon(platform::IconHandle id);

}  // namespace qtfront
