#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace kelmora::testsupport {

// Sets an environment variable (or, given nothing, removes it) for the guard's lifetime.
class ScopedEnvironment
{
public:
    ScopedEnvironment(std::string name, const std::optional<std::string>& value) : m_name(std::move(name))
    {
        if (const char* previous = std::getenv(m_name.c_str())) {
            m_previous = previous;
        }
        apply(value);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() { apply(m_previous); }

private:
    void apply(const std::optional<std::string>& value)
    {
        if (value) {
            ::setenv(m_name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(m_name.c_str());
        }
    }

    std::string m_name;
    std::optional<std::string> m_previous;
};

} // namespace kelmora::testsupport
