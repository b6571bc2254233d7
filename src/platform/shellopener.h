#pragma once

#include <memory>
#include <string_view>

namespace kelmora::platform {

// Hands a file or a link to the desktop's preferred application: a report to the browser, an exported file,
// the manual, a new e-mail.
class ShellOpener
{
public:
    virtual ~ShellOpener() = default;

    // `target` is a local path (absolute, or relative to the working folder) or a URL with a scheme such as
    // "https:" or "mailto:". False when it is empty or nothing could be started for it.
    virtual bool Open(std::string_view target) = 0;
};

// The platform's implementation.
std::unique_ptr<ShellOpener> createShellOpener();

} // namespace kelmora::platform
