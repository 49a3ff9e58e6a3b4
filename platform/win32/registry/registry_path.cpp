#include "platform/win32/registry/registry_path.h"

#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

bool sameIgnoringCase(const std::wstring& a, const wchar_t* b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

HKEY rootKey(const std::wstring& name) {
    if (sameIgnoringCase(name, L"HKEY_LOCAL_MACHINE") || sameIgnoringCase(name, L"HKLM")) {
        return HKEY_LOCAL_MACHINE;
    }
    if (sameIgnoringCase(name, L"HKEY_CURRENT_USER") || sameIgnoringCase(name, L"HKCU")) {
        return HKEY_CURRENT_USER;
    }
    throwWin32(ErrorNumber::InvalidParameter);
}

} // namespace

std::wstring RegistryPath::subKey(std::size_t count) const {
    std::wstring joined;
    for (std::size_t i = 0; i < count && i < keys.size(); ++i) {
        if (i > 0) {
            joined += L'\\';
        }
        joined += keys[i];
    }
    return joined;
}

std::wstring RegistryPath::keyText(std::size_t count) const {
    return count == 0 ? rootName : rootName + L"\\" + subKey(count);
}

RegistryPath parseRegistryPath(const std::wstring& path) {
    const std::size_t firstSlash = path.find(L'\\');
    if (firstSlash == std::wstring::npos) {
        throwWin32(ErrorNumber::InvalidParameter);
    }
    const std::size_t lastSlash = path.rfind(L'\\');

    RegistryPath parsed;
    parsed.rootName = path.substr(0, firstSlash);
    parsed.root = rootKey(parsed.rootName);
    parsed.valueName = path.substr(lastSlash + 1);

    if (lastSlash == firstSlash) {
        return parsed; // a value directly under the root
    }
    const std::wstring keyPath = path.substr(firstSlash + 1, lastSlash - firstSlash - 1);
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = keyPath.find(L'\\', start);
        std::wstring key = keyPath.substr(start, end == std::wstring::npos ? end : end - start);
        if (key.empty()) {
            throwWin32(ErrorNumber::InvalidParameter);
        }
        parsed.keys.push_back(std::move(key));
        if (end == std::wstring::npos) {
            break;
        }
        start = end + 1;
    }
    return parsed;
}

} // namespace velkora::win32
