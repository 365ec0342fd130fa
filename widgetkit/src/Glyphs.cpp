#include "sup/widgetkit/Glyphs.h"

#include <QFile>

static void initGlyphResources() {
    // The kit may be a static library: its resources are registered on first use.
    Q_INIT_RESOURCE(widgetkit_icons);
}

namespace sup::host {

QIcon Glyph(QStringView name) {
    static const bool once = (initGlyphResources(), true);
    Q_UNUSED(once);
    const QString path = QStringLiteral(":/sup/icons/%1.png").arg(name);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

QIcon ApplicationIcon() {
    return Glyph(u"app-48");
}

} // namespace sup::host
