#pragma once

#include "platform/shellopener.h"

#include <QUrl>

namespace kelmora::platform {

// Opens through QDesktopServices, which asks the desktop (xdg-open, portals) for the application. Needs a
// QGuiApplication unless a URL handler has been registered for the scheme.
class DesktopShellOpener final : public ShellOpener
{
public:
    bool Open(std::string_view target) override;
};

// What Open hands to the desktop: a URL when `target` starts with a scheme of two or more letters, otherwise
// a file URL of the path made absolute. An invalid URL when `target` is empty.
QUrl toOpenableUrl(std::string_view target);

} // namespace kelmora::platform
