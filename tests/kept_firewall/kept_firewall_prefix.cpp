#include "tests/kept_firewall/kept_firewall_prefix.h"

#include <memory>
#include <stdexcept>

namespace velkora::test {
namespace {

using kept_firewall::RegistryKey;

// NetFwPolicy2 and NetFwRule.
const wchar_t* const firewallClasses[] = {L"{E2B3C97F-6AE1-41AC-817A-F6F92166D7DD}",
                                          L"{2C5BC43E-3369-4C33-AB0C-BE9469677AF4}"};
const wchar_t* const firewallService = L"MpsSvc";

void require(bool done, const char* what, DWORD error = GetLastError()) {
    if (!done) {
        throw std::runtime_error(std::string("test firewall: ") + what + " failed with " +
                                 std::to_string(error));
    }
}

std::wstring programFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program(path, length);
    return program.substr(0, program.find_last_of(L"\\/"));
}

std::wstring serverKeyPath(const wchar_t* clsid) {
    return std::wstring(L"SOFTWARE\\Classes\\CLSID\\") + clsid + L"\\InprocServer32";
}

std::wstring defaultText(HKEY key) {
    wchar_t text[MAX_PATH] = L"";
    DWORD size = sizeof text - sizeof(wchar_t);
    RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    return text;
}

void setText(HKEY key, const wchar_t* name, const std::wstring& text) {
    const LSTATUS status =
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    require(status == ERROR_SUCCESS, "registering the server", status);
}

SERVICE_STATUS waitWhile(SC_HANDLE service, DWORD pendingState) {
    SERVICE_STATUS status{};
    for (int i = 0;
         i < 200 && QueryServiceStatus(service, &status) && status.dwCurrentState == pendingState;
         ++i) {
        Sleep(50);
    }
    return status;
}

void startFirewallService() {
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    require(manager != nullptr, "opening the service manager");
    SC_HANDLE service = OpenServiceW(manager, firewallService, SERVICE_ALL_ACCESS);
    if (service == nullptr) {
        const std::wstring image = L"\"" + programFolder() + L"\\velkora_standin_service.exe\"";
        service =
            CreateServiceW(manager, firewallService, firewallService, SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                           image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    const DWORD error = GetLastError();
    CloseServiceHandle(manager);
    require(service != nullptr, "registering MpsSvc", error);
    const bool started =
        StartServiceW(service, 0, nullptr) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
    const DWORD state = waitWhile(service, SERVICE_START_PENDING).dwCurrentState;
    CloseServiceHandle(service);
    require(started && state == SERVICE_RUNNING, "starting MpsSvc");
}

void removeFirewallService() {
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    const SC_HANDLE service =
        manager ? OpenServiceW(manager, firewallService, SERVICE_ALL_ACCESS) : nullptr;
    if (service != nullptr) {
        SERVICE_STATUS status{};
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        waitWhile(service, SERVICE_STOP_PENDING);
        DeleteService(service);
        CloseServiceHandle(service);
    }
    if (manager != nullptr) {
        CloseServiceHandle(manager);
    }
}

} // namespace

KeptFirewall::KeptFirewall() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kept_firewall::storeKey);
    for (const wchar_t* clsid : firewallClasses) {
        const RegistryKey server(serverKeyPath(clsid), true);
        require(server.open(), "opening the class key", server.status());
        previousServers_.emplace_back(serverKeyPath(clsid), defaultText(server.get()));
        setText(server.get(), nullptr, programFolder() + L"\\velkora_kept_firewall.dll");
        setText(server.get(), L"ThreadingModel", L"Both");
    }
    startFirewallService();
}

KeptFirewall::~KeptFirewall() {
    removeFirewallService();
    for (const auto& [path, previous] : previousServers_) {
        const RegistryKey server(path);
        if (server.open()) {
            RegSetValueExW(server.get(), nullptr, 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(previous.c_str()),
                           static_cast<DWORD>((previous.size() + 1) * sizeof(wchar_t)));
        }
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kept_firewall::storeKey);
}

std::vector<kept_firewall::RuleFields> KeptFirewall::rules() {
    std::vector<kept_firewall::RuleFields> rules;
    for (const std::wstring& id : kept_firewall::ruleIds()) {
        rules.emplace_back();
        kept_firewall::loadRule(id, rules.back());
    }
    return rules;
}

void KeptFirewall::setRules(const std::vector<kept_firewall::RuleFields>& rules) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kept_firewall::rulesKey);
    for (const kept_firewall::RuleFields& rule : rules) {
        std::wstring id;
        LSTATUS status = kept_firewall::newRuleId(id);
        if (status == ERROR_SUCCESS) {
            status = kept_firewall::saveRule(id, rule);
        }
        require(status == ERROR_SUCCESS, "storing a rule", status);
    }
}

void KeptFirewall::denyAfterCalls(DWORD calls) {
    const RegistryKey store(kept_firewall::storeKey, true);
    RegSetValueExW(store.get(), kept_firewall::denyAfterCallsValue, 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&calls), sizeof calls);
}

bool KeptFirewall::denialPending() {
    const RegistryKey store(kept_firewall::storeKey);
    return store.open() && RegQueryValueExW(store.get(), kept_firewall::denyAfterCallsValue,
                                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

namespace {

class KeptFirewallEnvironment final : public ::testing::Environment {
public:
    void SetUp() override { firewall_ = std::make_unique<KeptFirewall>(); }
    void TearDown() override { firewall_.reset(); }

private:
    std::unique_ptr<KeptFirewall> firewall_;
};

} // namespace

::testing::Environment* newKeptFirewallEnvironment() {
    return new KeptFirewallEnvironment;
}

} // namespace velkora::test
