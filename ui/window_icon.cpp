#include "window_icon.h"

#include <QPixmap>

#include "icons/wren16.xpm"
#include "icons/wren32.xpm"

QIcon WindowIcon() {
    // Resources of a static library must be pulled in by hand.
    Q_INIT_RESOURCE(window_icons);
    // The small sizes are drawn by hand for the pixel grid; the larger ones,
    // for high-density screens and task switchers, come from the SVG.
    QIcon icon;
    icon.addPixmap(QPixmap(wren32_xpm));
    icon.addPixmap(QPixmap(wren16_xpm));
    for (const char* size : {"48", "64", "128", "256"})
        icon.addFile(QStringLiteral(":/icons/wren-%1.png").arg(QLatin1String(size)));
    return icon;
}
