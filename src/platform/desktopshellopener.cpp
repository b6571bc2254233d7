#include "desktopshellopener.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QString>

namespace kelmora::platform {

namespace {

// RFC 3986: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) ":". A single letter is not taken as a scheme so that a
// name like "c:report.htm" stays a file.
bool startsWithScheme(std::string_view text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon < 2) {
        return false;
    }
    auto isAlpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!isAlpha(text[0])) {
        return false;
    }
    for (std::size_t i = 1; i < colon; ++i) {
        const char c = text[i];
        if (!isAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

} // namespace

QUrl toOpenableUrl(std::string_view target)
{
    if (target.empty()) {
        return {};
    }
    const QString text = QString::fromUtf8(target.data(), static_cast<qsizetype>(target.size()));
    if (startsWithScheme(target)) {
        return QUrl(text);
    }
    return QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
}

bool DesktopShellOpener::Open(std::string_view target)
{
    const QUrl url = toOpenableUrl(target);
    return url.isValid() && QDesktopServices::openUrl(url);
}

std::unique_ptr<ShellOpener> createShellOpener()
{
    return std::make_unique<DesktopShellOpener>();
}

} // namespace kelmora::platform
