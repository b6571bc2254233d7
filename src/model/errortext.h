#pragma once

#include <string>
#include <utility>

namespace kelmora::model {

// Operations that can fail take an optional error text to fill; callers that need no reason pass nullptr.
inline void SetError(std::string* error, std::string text)
{
    if (error != nullptr) {
        *error = std::move(text);
    }
}

} // namespace kelmora::model
