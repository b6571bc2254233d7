#pragma once

#include "platform/shellopener.h"

#include <string>
#include <vector>

namespace kelmora::platform {

// Records what would have been opened, and answers as told.
class FakeShellOpener final : public ShellOpener
{
public:
    bool Open(std::string_view target) override;

    // Every target asked for, oldest first, including refused ones.
    const std::vector<std::string>& requests() const { return m_requests; }
    void setResult(bool result) { m_result = result; }

private:
    std::vector<std::string> m_requests;
    bool m_result = true;
};

} // namespace kelmora::platform
