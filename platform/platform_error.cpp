#include "platform/platform_error.h"

namespace velkora {

PlatformError::PlatformError(long number, std::wstring description, bool changeLeftBehind)
    : number_(number), description_(std::move(description)), changeLeftBehind_(changeLeftBehind) {}

PlatformError::PlatformError(long number, std::wstring description, bool changeLeftBehind,
                             std::wstring call)
    : number_(number), description_(std::move(description)), changeLeftBehind_(changeLeftBehind),
      call_(std::move(call)) {}

PlatformError::PlatformError(const PlatformError& other) = default;
PlatformError::PlatformError(PlatformError&& other) noexcept = default;
PlatformError& PlatformError::operator=(const PlatformError& other) = default;
PlatformError& PlatformError::operator=(PlatformError&& other) noexcept = default;
PlatformError::~PlatformError() = default;

} // namespace velkora
