#pragma once

#include <string>
#include <vector>

#include "platform/non_copyable.h"
#include "platform/platform_error.h"
#include "platform/result_log.h"

namespace velkora {

// Where an error is kept that its catcher goes on without: a failure taken for "not known",
// "none" or "look again later" leaves its number, description and call here rather than
// vanishing. May raise; the one who keeps an error goes on all the same.
class ErrorRecord {
public:
    virtual ~ErrorRecord() = default;
    virtual void keep(const PlatformError& error) = 0;
};

// Keeps an error passed over in the record in use; with none in use, it is dropped.
void keepPassedOver(const PlatformError& error) noexcept;
// The same for a read whose "not there" (2, a missing value or key) is an answer rather than a
// failure: only other failures are kept.
void keepPassedOverUnlessAbsent(const PlatformError& error) noexcept;

// The record in use, for the whole process (the watcher's service thread too), while this
// lives; the one before it is in use again after.
class ErrorRecordInUse : NonCopyable {
public:
    explicit ErrorRecordInUse(ErrorRecord& record);
    ~ErrorRecordInUse();

private:
    ErrorRecord* previous_;
};

// Each error passed over as a line of the result log, once however often it comes: "passed
// over: error N: description (call)". A line that cannot be written changes nothing.
class ResultLogErrorRecord final : public ErrorRecord {
public:
    explicit ResultLogErrorRecord(ResultLog& log) : log_(log) {}
    void keep(const PlatformError& error) override;

private:
    ResultLog& log_;
    std::vector<std::wstring> said_;
};

} // namespace velkora
