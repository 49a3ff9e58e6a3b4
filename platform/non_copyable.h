#pragma once

namespace velkora {

// A base for a class that owns something and so must not be copied (nor moved): the copy is
// deleted here once, not in every owner.
class NonCopyable {
public:
    NonCopyable(const NonCopyable&) = delete;
    NonCopyable& operator=(const NonCopyable&) = delete;

protected:
    NonCopyable() = default;
    ~NonCopyable() = default;
};

} // namespace velkora
