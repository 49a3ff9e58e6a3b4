#pragma once

#include <cstdint>

namespace velkora {

// Every error number the tool raises in a PlatformError or tests an error for, by name: a Win32
// code, or an HRESULT as a (negative) long. Numbers a failed system call returns travel as the
// system gave them; these are the ones the tool itself chooses or looks for. The Windows build
// checks each against the system's own name.
namespace ErrorNumber {
inline constexpr long FileNotFound = 2;         // ERROR_FILE_NOT_FOUND
inline constexpr long AccessDenied = 5;         // ERROR_ACCESS_DENIED
inline constexpr long InvalidHandle = 6;        // ERROR_INVALID_HANDLE
inline constexpr long OutOfMemory = 7;          // Visual Basic run-time error 7, "Out of memory"
inline constexpr long NotEnoughMemory = 8;      // ERROR_NOT_ENOUGH_MEMORY
inline constexpr long InvalidData = 13;         // ERROR_INVALID_DATA
inline constexpr long GenFailure = 31;          // ERROR_GEN_FAILURE
inline constexpr long InternalError = 51;       // Visual Basic run-time error 51, "Internal error"
inline constexpr long InvalidParameter = 87;    // ERROR_INVALID_PARAMETER
inline constexpr long InsufficientBuffer = 122; // ERROR_INSUFFICIENT_BUFFER
inline constexpr long FileTooLarge = 223;       // ERROR_FILE_TOO_LARGE
inline constexpr long FileInvalid = 1006;       // ERROR_FILE_INVALID
inline constexpr long InvalidServiceControl = 1052;   // ERROR_INVALID_SERVICE_CONTROL
inline constexpr long ServiceRequestTimeout = 1053;   // ERROR_SERVICE_REQUEST_TIMEOUT
inline constexpr long ServiceNotActive = 1062;        // ERROR_SERVICE_NOT_ACTIVE
inline constexpr long InvalidOwner = 1307;            // ERROR_INVALID_OWNER
inline constexpr long Timeout = 1460;                 // ERROR_TIMEOUT
inline constexpr long AnotherChangeInProgress = 1618; // ERROR_INSTALL_ALREADY_RUNNING
inline constexpr long UnsupportedType = 1630;         // ERROR_UNSUPPORTED_TYPE
inline constexpr long ResourceDataNotFound = 1812;    // ERROR_RESOURCE_DATA_NOT_FOUND
inline constexpr long CantAccessFile = 1920;          // ERROR_CANT_ACCESS_FILE
inline constexpr long InvalidState = 5023;            // ERROR_INVALID_STATE
inline constexpr long PointerResult = static_cast<std::int32_t>(0x80004003u); // E_POINTER
inline constexpr long ClassNotRegisteredResult =
    static_cast<std::int32_t>(0x80040154u); // REGDB_E_CLASSNOTREG
inline constexpr long FileNotFoundResult =
    static_cast<std::int32_t>(0x80070002u); // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
inline constexpr long AccessDeniedResult = static_cast<std::int32_t>(0x80070005u); // E_ACCESSDENIED
inline constexpr long OutOfMemoryResult = static_cast<std::int32_t>(0x8007000Eu);  // E_OUTOFMEMORY
} // namespace ErrorNumber

} // namespace velkora
