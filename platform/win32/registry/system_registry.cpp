#include "platform/win32/registry/system_registry.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/registry/registry_path.h"
#include "platform/win32/runtime/unique_handles.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

// A 64-bit system keeps the listener's values in its 64-bit view, whatever our build.
constexpr REGSAM registryView = KEY_WOW64_64KEY;

// Raises a registry call's failure, naming the call and the key (of `depth` keys) or the value
// it was on; the texts are made only then.
void checkOnKey(LSTATUS status, const wchar_t* function, const RegistryPath& path,
                std::size_t depth) {
    if (status != ERROR_SUCCESS) {
        throwWin32(static_cast<DWORD>(status), function, path.keyText(depth));
    }
}
void checkOnValue(LSTATUS status, const wchar_t* function, const RegistryPath& path) {
    if (status != ERROR_SUCCESS) {
        throwWin32(static_cast<DWORD>(status), function, path.valueText());
    }
}

LSTATUS openKey(const RegistryPath& path, std::size_t depth, REGSAM access, UniqueHkey& key) {
    return RegOpenKeyExW(path.root, path.subKey(depth).c_str(), 0, access | registryView,
                         key.put());
}

std::optional<StoredRegistryValue> queryValue(HKEY key, const RegistryPath& path) {
    std::vector<std::uint8_t> bytes;
    for (;;) {
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(bytes.size());
        const LSTATUS status = RegQueryValueExW(key, path.valueName.c_str(), nullptr, &type,
                                                bytes.empty() ? nullptr : bytes.data(), &size);
        if (status == ERROR_FILE_NOT_FOUND) {
            return std::nullopt;
        }
        const bool sizeOnly = bytes.empty() && size > 0;
        if (status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && sizeOnly)) {
            bytes.resize(size);
            continue;
        }
        checkOnValue(status, L"RegQueryValueExW", path);
        bytes.resize(size);
        return StoredRegistryValue{type, std::move(bytes)};
    }
}

// How many of the trailing keys on the way to the value do not exist.
int countMissingKeys(const RegistryPath& path) {
    for (std::size_t depth = path.keys.size(); depth > 0; --depth) {
        UniqueHkey key;
        const LSTATUS status = openKey(path, depth, KEY_QUERY_VALUE, key);
        if (status == ERROR_SUCCESS || status == ERROR_ACCESS_DENIED) {
            return static_cast<int>(path.keys.size() - depth);
        }
        if (status != ERROR_FILE_NOT_FOUND) {
            throwWin32(static_cast<DWORD>(status), L"RegOpenKeyExW", path.keyText(depth));
        }
    }
    return static_cast<int>(path.keys.size());
}

// Deletes the `count` deepest keys of the path, deepest first, and stops at the first one
// that holds anything: a key someone else has filled in the meantime is not ours to take.
// The failure of the call that failed, if one did.
std::optional<PlatformError> removeEmptyKeys(const RegistryPath& path, int count) {
    for (int removed = 0; removed < count; ++removed) {
        const std::size_t depth = path.keys.size() - static_cast<std::size_t>(removed);
        if (depth == 0) {
            break;
        }
        UniqueHkey key;
        LSTATUS status = openKey(path, depth, KEY_QUERY_VALUE, key);
        if (status == ERROR_FILE_NOT_FOUND) {
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return win32Error(static_cast<DWORD>(status), L"RegOpenKeyExW", path.keyText(depth));
        }
        DWORD subKeys = 0;
        DWORD values = 0;
        status = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                  &values, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            return win32Error(static_cast<DWORD>(status), L"RegQueryInfoKeyW", path.keyText(depth));
        }
        if (subKeys != 0 || values != 0) {
            break;
        }
        key.reset();
        status = RegDeleteKeyExW(path.root, path.subKey(depth).c_str(), registryView, 0);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            return win32Error(static_cast<DWORD>(status), L"RegDeleteKeyExW", path.keyText(depth));
        }
    }
    return std::nullopt;
}

// A number as REG_DWORD, a text as REG_SZ with its terminating NUL.
StoredRegistryValue encode(const RegistryValue& data) {
    if (const auto* number = std::get_if<std::uint32_t>(&data)) {
        StoredRegistryValue value{REG_DWORD, std::vector<std::uint8_t>(sizeof(DWORD))};
        const DWORD dword = *number;
        std::memcpy(value.bytes.data(), &dword, sizeof dword);
        return value;
    }
    const std::wstring& text = std::get<std::wstring>(data);
    const std::size_t size = (text.size() + 1) * sizeof(wchar_t);
    if (size > MAXDWORD) {
        throwWin32(ErrorNumber::InvalidData);
    }
    StoredRegistryValue value{REG_SZ, std::vector<std::uint8_t>(size)};
    std::memcpy(value.bytes.data(), text.c_str(), size);
    return value;
}

RegistryValue decode(const StoredRegistryValue& stored) {
    if (const std::optional<RegistryValue> value = valueOf(stored)) {
        return *value;
    }
    throwWin32(stored.type == REG_DWORD ? ErrorNumber::InvalidData : ErrorNumber::UnsupportedType);
}

LSTATUS createKey(const RegistryPath& path, UniqueHkey& key) {
    return RegCreateKeyExW(path.root, path.subKey().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_SET_VALUE | registryView, nullptr, key.put(), nullptr);
}

LSTATUS setValue(HKEY key, const std::wstring& name, const StoredRegistryValue& value) {
    return RegSetValueExW(key, name.c_str(), 0, value.type,
                          value.bytes.empty() ? nullptr : value.bytes.data(),
                          static_cast<DWORD>(value.bytes.size()));
}

class SystemRegistry final : public Registry {
public:
    RegistryValue read(const std::wstring& pathText) override {
        const RegistryPath path = parseRegistryPath(pathText);
        UniqueHkey key;
        checkOnKey(openKey(path, path.keys.size(), KEY_QUERY_VALUE, key), L"RegOpenKeyExW", path,
                   path.keys.size());
        const std::optional<StoredRegistryValue> stored = queryValue(key.get(), path);
        if (!stored) {
            throwWin32(ERROR_FILE_NOT_FOUND, L"RegQueryValueExW", path.valueText());
        }
        return decode(*stored);
    }

    std::optional<RegistryValue> readIfPresent(const std::wstring& pathText) override {
        const RegistryPath path = parseRegistryPath(pathText);
        UniqueHkey key;
        const LSTATUS opened = openKey(path, path.keys.size(), KEY_QUERY_VALUE, key);
        if (opened == ERROR_FILE_NOT_FOUND) {
            return std::nullopt;
        }
        checkOnKey(opened, L"RegOpenKeyExW", path, path.keys.size());
        const std::optional<StoredRegistryValue> stored = queryValue(key.get(), path);
        if (!stored) {
            return std::nullopt;
        }
        return decode(*stored);
    }

    void write(const std::wstring& pathText, const RegistryValue& data) override {
        const RegistryPath path = parseRegistryPath(pathText);
        const StoredRegistryValue value = encode(data);
        const int missingKeys = countMissingKeys(path);

        UniqueHkey key;
        LSTATUS status = createKey(path, key);
        const bool keyOpen = status == ERROR_SUCCESS;
        if (keyOpen) {
            status = setValue(key.get(), path.valueName, value);
        }
        if (status != ERROR_SUCCESS) {
            // Leave no keys behind for a value that was never written.
            key.reset();
            removeEmptyKeys(path, missingKeys);
            if (keyOpen) {
                checkOnValue(status, L"RegSetValueExW", path);
            }
            checkOnKey(status, L"RegCreateKeyExW", path, path.keys.size());
        }
    }

    RegistryValueState capture(const std::wstring& pathText) override {
        const RegistryPath path = parseRegistryPath(pathText);
        RegistryValueState state;
        state.missingKeys = countMissingKeys(path);
        if (state.missingKeys > 0) {
            return state;
        }
        UniqueHkey key;
        checkOnKey(openKey(path, path.keys.size(), KEY_QUERY_VALUE, key), L"RegOpenKeyExW", path,
                   path.keys.size());
        state.value = queryValue(key.get(), path);
        return state;
    }

    void restore(const std::wstring& pathText, const RegistryValueState& before) override {
        const RegistryPath path = parseRegistryPath(pathText);
        if (before.value) {
            UniqueHkey key;
            checkOnKey(createKey(path, key), L"RegCreateKeyExW", path, path.keys.size());
            checkOnValue(setValue(key.get(), path.valueName, *before.value), L"RegSetValueExW",
                         path);
        } else {
            deleteValue(path);
        }
        if (const std::optional<PlatformError> failure =
                removeEmptyKeys(path, before.missingKeys)) {
            throw *failure;
        }
    }

private:
    static void deleteValue(const RegistryPath& path) {
        UniqueHkey key;
        const LSTATUS status = openKey(path, path.keys.size(), KEY_SET_VALUE, key);
        if (status == ERROR_FILE_NOT_FOUND) {
            return; // no key, so no value either
        }
        checkOnKey(status, L"RegOpenKeyExW", path, path.keys.size());
        const LSTATUS deleted = RegDeleteValueW(key.get(), path.valueName.c_str());
        if (deleted != ERROR_FILE_NOT_FOUND) {
            checkOnValue(deleted, L"RegDeleteValueW", path);
        }
    }
};

} // namespace

Registry& systemRegistry() {
    static SystemRegistry registry;
    return registry;
}

} // namespace velkora::win32
