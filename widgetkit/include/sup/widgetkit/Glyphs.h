#pragma once

// Pictures of buttons and the application, bundled with the kit (icons/README says whence).

#include <QIcon>
#include <QStringView>

namespace sup::host {

// The picture of a freedesktop icon name bundled with the kit ("edit-find", "document-save",
// …); an empty icon for a name not bundled.
QIcon Glyph(QStringView name);

// The application's icon, for the host's windows and the routine's screens.
QIcon ApplicationIcon();

} // namespace sup::host
