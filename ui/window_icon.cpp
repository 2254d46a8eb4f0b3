#include "window_icon.h"

#include <QPixmap>

#include "icons/wren16.xpm"
#include "icons/wren32.xpm"

QIcon WindowIcon() {
    QIcon icon;
    icon.addPixmap(QPixmap(wren32_xpm));
    icon.addPixmap(QPixmap(wren16_xpm));
    return icon;
}
