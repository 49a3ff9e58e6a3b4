#pragma once

#include <cstddef>
#include <optional>

#include "platform/platform_error.h"

namespace velkora {

// The original error, followed by what went wrong while putting things back; it says that
// something is left changed.
PlatformError combineWithRollbackFailure(const PlatformError& original,
                                         const PlatformError& rollbackFailure);

// Runs step and gives what it returns; if it raises anything, runs undo before the error
// travels on. If undo raises too, the error raised says both.
template <typename Step, typename Undo> auto undoOnFailure(Step&& step, Undo&& undo) {
    try {
        return step();
    } catch (const PlatformError& original) {
        try {
            undo();
        } catch (const PlatformError& rollbackFailure) {
            throw combineWithRollbackFailure(original, rollbackFailure);
        }
        throw;
    } catch (...) {
        // Running out of memory half-way must not leave a change half made either.
        try {
            undo();
        } catch (const PlatformError& rollbackFailure) {
            throw combineWithRollbackFailure(PlatformError(ErrorNumber::InternalError, L"内部错误"),
                                             rollbackFailure);
        }
        throw;
    }
}

// Calls putBack(i) for i = count - 1 down to 0, newest change first. Tries every one and
// then raises the first failure.
template <typename PutBack> void putBackNewestFirst(std::size_t count, PutBack&& putBack) {
    std::optional<PlatformError> firstFailure;
    for (std::size_t i = count; i-- > 0;) {
        try {
            putBack(i);
        } catch (const PlatformError& failure) {
            if (!firstFailure) {
                firstFailure = failure;
            }
        }
    }
    if (firstFailure) {
        throw *firstFailure;
    }
}

} // namespace velkora
