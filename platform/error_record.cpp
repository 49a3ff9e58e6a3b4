#include "platform/error_record.h"

#include <algorithm>
#include <atomic>

namespace velkora {
namespace {

std::atomic<ErrorRecord*> recordInUse{nullptr};

} // namespace

void keepPassedOver(const PlatformError& error) noexcept {
    ErrorRecord* record = recordInUse.load();
    if (record == nullptr) {
        return;
    }
    try {
        record->keep(error);
    } catch (...) {
        // Keeping it is the best one can do; the caller's way on does not depend on it.
    }
}

void keepPassedOverUnlessAbsent(const PlatformError& error) noexcept {
    if (error.number() != ErrorNumber::FileNotFound) {
        keepPassedOver(error);
    }
}

ErrorRecordInUse::ErrorRecordInUse(ErrorRecord& record)
    : previous_(recordInUse.exchange(&record)) {}

ErrorRecordInUse::~ErrorRecordInUse() {
    recordInUse.store(previous_);
}

void ResultLogErrorRecord::keep(const PlatformError& error) {
    std::wstring line = L"passed over: " + errorLogText(error);
    if (std::find(said_.begin(), said_.end(), line) != said_.end()) {
        return;
    }
    said_.push_back(line);
    log_.append(line);
}

} // namespace velkora
