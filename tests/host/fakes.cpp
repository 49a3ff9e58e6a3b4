#include "tests/host/fakes.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "platform/non_copyable.h"

namespace velkora::test {
namespace {

const std::wstring localMachine = L"HKEY_LOCAL_MACHINE";
const std::wstring currentUser = L"HKEY_CURRENT_USER";

wchar_t asciiLower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c;
}

bool sameName(const std::wstring& a, const std::wstring& b) {
    return !RegistryNameLess{}(a, b) && !RegistryNameLess{}(b, a);
}

PlatformError notFound() {
    return PlatformError(2, L"系统找不到指定的文件。");
}
PlatformError invalidData() {
    return PlatformError(13, L"数据无效。");
}
PlatformError invalidParameter() {
    return PlatformError(87, L"参数错误。");
}

// Registry strings are UTF-16LE with a terminating NUL.
std::vector<std::uint8_t> utf16leBytes(const std::wstring& text) {
    std::vector<std::uint8_t> bytes;
    auto unit = [&bytes](std::uint32_t u) {
        bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((u >> 8) & 0xFF));
    };
    for (wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code > 0xFFFF) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
    }
    unit(0);
    return bytes;
}

} // namespace

StoredRegistryValue dwordValue(std::uint32_t number) {
    return {regDword,
            {static_cast<std::uint8_t>(number & 0xFF), static_cast<std::uint8_t>(number >> 8),
             static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)}};
}

StoredRegistryValue stringValue(const std::wstring& text, std::uint32_t type) {
    return {type, utf16leBytes(text)};
}

bool RegistryNameLess::operator()(const std::wstring& a, const std::wstring& b) const {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](wchar_t x, wchar_t y) { return asciiLower(x) < asciiLower(y); });
}

// --- FakeRegistry ---------------------------------------------------------------------

FakeRegistry::FakeRegistry() {
    keys_.try_emplace(localMachine);
    keys_.try_emplace(currentUser);
}

FakeRegistry::SplitPath FakeRegistry::split(const std::wstring& path) const {
    const std::size_t lastSlash = path.rfind(L'\\');
    if (lastSlash == std::wstring::npos) {
        throw invalidParameter();
    }
    SplitPath result;
    result.valueName = path.substr(lastSlash + 1);
    const std::wstring keyPart = path.substr(0, lastSlash);

    std::size_t start = 0;
    std::wstring chain;
    while (start <= keyPart.size()) {
        const std::size_t end = std::min(keyPart.find(L'\\', start), keyPart.size());
        std::wstring component = keyPart.substr(start, end - start);
        if (component.empty()) {
            throw invalidParameter();
        }
        if (chain.empty()) {
            if (sameName(component, localMachine) || sameName(component, L"HKLM")) {
                component = localMachine;
            } else if (sameName(component, currentUser) || sameName(component, L"HKCU")) {
                component = currentUser;
            } else {
                throw invalidParameter();
            }
            chain = component;
        } else {
            chain += L"\\" + component;
        }
        result.keyChain.push_back(chain);
        start = end + 1;
    }
    return result;
}

void FakeRegistry::createChain(const std::vector<std::wstring>& keyChain) {
    for (const std::wstring& key : keyChain) {
        keys_.try_emplace(key);
    }
}

bool FakeRegistry::hasSubkeys(const std::wstring& keyPath) const {
    const std::wstring prefix = keyPath + L"\\";
    for (const auto& [key, values] : keys_) {
        if (key.size() > prefix.size() && sameName(key.substr(0, prefix.size()), prefix)) {
            return true;
        }
    }
    return false;
}

void FakeRegistry::createKey(const std::wstring& keyPath) {
    createChain(split(keyPath + L"\\").keyChain);
}

void FakeRegistry::setValue(const std::wstring& path, const StoredRegistryValue& value) {
    const SplitPath where = split(path);
    createChain(where.keyChain);
    keys_[where.keyChain.back()][where.valueName] = value;
}

std::optional<StoredRegistryValue> FakeRegistry::value(const std::wstring& path) const {
    const SplitPath where = split(path);
    const auto key = keys_.find(where.keyChain.back());
    if (key == keys_.end()) {
        return std::nullopt;
    }
    const auto found = key->second.find(where.valueName);
    if (found == key->second.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool FakeRegistry::keyExists(const std::wstring& keyPath) const {
    return keys_.count(split(keyPath + L"\\").keyChain.back()) != 0;
}

std::optional<RegistryValue> FakeRegistry::readIfPresent(const std::wstring& path) {
    calls_.push_back(L"read " + path);
    const std::optional<StoredRegistryValue> stored = value(path);
    if (!stored) {
        return std::nullopt;
    }
    if (const std::optional<RegistryValue> read = valueOf(*stored)) {
        return read;
    }
    throw invalidData();
}

RegistryValue FakeRegistry::read(const std::wstring& path) {
    if (std::optional<RegistryValue> present = readIfPresent(path)) {
        return *present;
    }
    throw notFound();
}

void FakeRegistry::write(const std::wstring& path, const RegistryValue& data) {
    calls_.push_back(L"write " + path);
    if (isLocked && !isLocked()) {
        ++unlockedChanges;
    }
    writes_.push_back({path, data});
    ++writeCount_;
    const SplitPath where = split(path);
    if (failingWrite_ && *failingWrite_ == writeCount_) {
        refusedPath_ = path;
    }
    throwIfRefused(path);
    const auto* number = std::get_if<std::uint32_t>(&data);
    const StoredRegistryValue stored =
        number ? dwordValue(*number) : stringValue(std::get<std::wstring>(data));
    createChain(where.keyChain);
    keys_[where.keyChain.back()][where.valueName] = stored;
}

RegistryValueState FakeRegistry::capture(const std::wstring& path) {
    calls_.push_back(L"capture " + path);
    if (captureError_) {
        throw *captureError_;
    }
    const SplitPath where = split(path);
    RegistryValueState state;
    state.value = value(path);
    for (const std::wstring& key : where.keyChain) {
        if (keys_.count(key) == 0) {
            ++state.missingKeys;
        }
    }
    return state;
}

void FakeRegistry::restore(const std::wstring& path, const RegistryValueState& before) {
    calls_.push_back(L"restore " + path);
    if (isLocked && !isLocked()) {
        ++unlockedChanges;
    }
    if (restoreError_) {
        throw *restoreError_;
    }
    throwIfRefused(path);
    const SplitPath where = split(path);
    if (before.value) {
        createChain(where.keyChain);
        keys_[where.keyChain.back()][where.valueName] = *before.value;
    } else if (const auto key = keys_.find(where.keyChain.back()); key != keys_.end()) {
        key->second.erase(where.valueName);
    }
    const int removable = std::min<int>(before.missingKeys, int(where.keyChain.size()) - 1);
    for (int i = 0; i < removable; ++i) {
        const std::wstring& keyPath = where.keyChain[where.keyChain.size() - 1 - i];
        const auto key = keys_.find(keyPath);
        if (key == keys_.end()) {
            continue;
        }
        if (!key->second.empty() || hasSubkeys(keyPath)) {
            break;
        }
        keys_.erase(key);
    }
}

void FakeRegistry::failWrite(int nth, PlatformError error) {
    failingWrite_ = nth;
    writeError_ = std::move(error);
}

void FakeRegistry::throwIfRefused(const std::wstring& path) const {
    if (refusedPath_ && sameName(*refusedPath_, path)) {
        throw *writeError_;
    }
}

void FakeRegistry::failRestores(PlatformError error) {
    restoreError_ = std::move(error);
}

void FakeRegistry::failCaptures(PlatformError error) {
    captureError_ = std::move(error);
}

// --- The other services ---------------------------------------------------------------

int FakeMessageBoxService::messageBox(const std::wstring& prompt, int style,
                                      const std::optional<std::wstring>& title) {
    boxes_.push_back({prompt, style, title});
    if (replies_.empty()) {
        return defaultReply;
    }
    const int reply = replies_.front();
    replies_.pop_front();
    return reply;
}

unsigned long FakeLauncher::launch(const std::wstring& commandLine, int windowStyle) {
    launches_.push_back({commandLine, windowStyle});
    if (error_) {
        throw *error_;
    }
    return 4242;
}

std::optional<FirewallRule> FakeFirewall::find(const std::wstring& name) {
    calls_.push_back(L"find " + name);
    const auto found = rules.find(name);
    if (found == rules.end()) {
        return std::nullopt;
    }
    return found->second;
}

void FakeFirewall::put(const FirewallRule& rule) {
    calls_.push_back(L"put " + rule.name);
    ++putCount_;
    if (failedOnce_ && putBackError_) {
        throw *putBackError_;
    }
    if (failingPut_ && *failingPut_ == putCount_) {
        failedOnce_ = true;
        if (changeBeforeFailing_) {
            FirewallRule halfMade = rule;
            halfMade.enabled = false;
            rules[rule.name] = halfMade;
        }
        throw *putError_;
    }
    rules[rule.name] = rule;
}

void FakeFirewall::remove(const std::wstring& name) {
    calls_.push_back(L"remove " + name);
    if (failedOnce_ && putBackError_) {
        throw *putBackError_;
    }
    countChange();
    rules.erase(name);
}

std::vector<FirewallRule> FakeFirewall::allRules() {
    calls_.push_back(L"list");
    std::vector<FirewallRule> all;
    for (const auto& [name, rule] : rules) {
        all.push_back(rule);
    }
    return all;
}

void FakeFirewall::setEnabled(const std::wstring& name, bool enabled) {
    calls_.push_back((enabled ? L"enable " : L"disable ") + name);
    countChange();
    rules.at(name).enabled = enabled;
}

bool FakeFirewall::removeMatching(const FirewallRule& rule) {
    calls_.push_back(L"remove " + rule.name);
    if (failedOnce_ && putBackError_) {
        throw *putBackError_;
    }
    countChange();
    for (auto it = rules.begin(); it != rules.end(); ++it) {
        if (it->second == rule) {
            rules.erase(it);
            return true;
        }
    }
    return false;
}

bool FakeFirewall::setEnabledMatching(const FirewallRule& rule, bool enabled) {
    calls_.push_back((enabled ? L"enable " : L"disable ") + rule.name);
    countChange();
    for (auto& [key, kept] : rules) {
        if (kept == rule) {
            kept.enabled = enabled;
            return true;
        }
    }
    return false;
}

void FakeFirewall::countChange() {
    if (failingChange_ && ++changeCount_ == *failingChange_) {
        throw *changeError_;
    }
}

void FakeFirewall::failPut(int nth, PlatformError error, bool changeBeforeFailing) {
    failingPut_ = nth;
    putError_ = std::move(error);
    changeBeforeFailing_ = changeBeforeFailing;
}

void FakeFirewall::failPutBacks(PlatformError error) {
    putBackError_ = std::move(error);
}

bool FakeChangeLock::acquire() {
    if (error_) {
        throw *error_;
    }
    ++acquired;
    return abandoned;
}

void FakeDocumentOpener::openDocument(const std::wstring&, const std::wstring&, const std::wstring&,
                                      const std::wstring&, int) {
    ++opened;
}

void FakeMainWindow::showCurrentPort(const std::wstring& port) {
    currentPort = port;
    shownOrder.push_back(L"current port");
}

void FakeMainWindow::showCreditLine(const std::wstring& line) {
    creditLine = line;
    shownOrder.push_back(L"credit line");
}

void FakeMainWindow::showNotice(const std::wstring& text) {
    notice = text;
    shownOrder.push_back(L"notice");
}

} // namespace velkora::test

namespace velkora::test {

std::vector<std::wstring> FakeSystemInfo::subkeyNames(const std::wstring& keyPath) {
    if (!registry_.keyExists(keyPath)) {
        throw PlatformError(2, L"系统找不到指定的文件。");
    }
    const std::wstring prefix = keyPath + L"\\";
    std::vector<std::wstring> names;
    for (const auto& [key, values] : registry_.contents()) {
        if (key.size() > prefix.size() &&
            !RegistryNameLess()(key.substr(0, prefix.size()), prefix) &&
            !RegistryNameLess()(prefix, key.substr(0, prefix.size())) &&
            key.find(L'\\', prefix.size()) == std::wstring::npos) {
            names.push_back(key.substr(prefix.size()));
        }
    }
    return names;
}

} // namespace velkora::test
