#include "fakeshellopener.h"

namespace kelmora::platform {

bool FakeShellOpener::Open(std::string_view target)
{
    m_requests.emplace_back(target);
    return m_result && !target.empty();
}

} // namespace kelmora::platform
