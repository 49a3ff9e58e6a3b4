#pragma once

namespace velkora {

// The machine-wide lock that keeps two port changes (the window's and the command line's,
// or two command lines') from interleaving their writes.
class ChangeLock {
public:
    virtual ~ChangeLock() = default;
    // Waits up to 10 s; raises PlatformError 1618 when another change still holds it.
    // A lock left by a process that ended while holding it is taken over: then it returns
    // true, since the change that process made may be half done.
    virtual bool acquire() = 0;
    virtual void release() noexcept = 0;
    // Whether an acquire in this process has taken the lock over so: the run says so, whatever
    // came of it.
    virtual bool takenOver() const = 0;
};

// Holds the lock for the length of a scope.
class HeldChangeLock {
public:
    explicit HeldChangeLock(ChangeLock& lock) : lock_(lock), interrupted_(lock_.acquire()) {}
    ~HeldChangeLock() { lock_.release(); }
    // The last holder ended while it held the lock.
    bool interrupted() const { return interrupted_; }
    HeldChangeLock(const HeldChangeLock&) = delete;
    HeldChangeLock& operator=(const HeldChangeLock&) = delete;

private:
    ChangeLock& lock_;
    bool interrupted_;
};

} // namespace velkora
