#include <gtest/gtest.h>

#include "logic/port_change_set.h"
#include "platform/win32/runtime/error_box.h"
#include "platform/win32/registry/system_registry.h"
#include "platform/win32/runtime/win32_error.h"
#include "tests/win/test_support.h"
#include "tests/common/test_helpers.h"

namespace velkora::test {
namespace {

const std::wstring tdsKey =
    L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd\\Tds\\tcp";
const std::wstring rdpKey =
    L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\WinStations\\RDP-Tcp";
const std::wstring standardList = L"SYSTEM\\ControlSet001\\Services\\SharedAccess\\Parameters\\"
                                  L"FirewallPolicy\\StandardProfile\\GloballyOpenPorts\\List";
const std::wstring domainList = L"SYSTEM\\ControlSet001\\Services\\SharedAccess\\Parameters\\"
                                L"FirewallPolicy\\DomainProfile\\GloballyOpenPorts\\List";

std::optional<RawValue> hklm(const std::wstring& key, const std::wstring& name) {
    return test::readRawValue(HKEY_LOCAL_MACHINE, key, name);
}

// Every key on the way to a value, and the value: enough to tell "exactly as before".
struct PathState {
    std::vector<bool> keysExist;
    std::optional<RawValue> value;
    bool operator==(const PathState&) const = default;
};

PathState stateOf(const std::wstring& key, const std::wstring& name) {
    PathState state;
    for (std::size_t slash = key.find(L'\\');; slash = key.find(L'\\', slash + 1)) {
        state.keysExist.push_back(test::keyExists(HKEY_LOCAL_MACHINE, key.substr(0, slash)));
        if (slash == std::wstring::npos) {
            break;
        }
    }
    state.value = hklm(key, name);
    return state;
}

const std::wstring& accessDeniedText() {
    static const std::wstring text = win32::systemErrorText(ERROR_ACCESS_DENIED);
    return text;
}

// The error box's text for the change to the port text, or nothing if it succeeded.
// The states of the four paths a change to 888 writes.
std::vector<PathState> allFourStates() {
    return {stateOf(tdsKey, L"PortNumber"), stateOf(rdpKey, L"PortNumber"),
            stateOf(standardList, L"888:TCP "), stateOf(domainList, L"888:TCP ")};
}

// The four writes, from what the registry holds just before.
void applyTo(Registry& registry, const PortChangeSet& set) {
    applyPortChangeSet(registry, set, captureValues(registry, set));
}

std::wstring reportOfApplying(Registry& registry, const std::wstring& portText) {
    const PlatformError error = thrownBy([&] { applyTo(registry, buildPortChangeSet(portText)); });
    return win32::errorReportText(error.number(), error.description());
}

// The real registry service, with a refusing DACL put on keys as soon as the given
// write has succeeded: a refusal that starts in the middle of a change.
class RefusingAfterWrite final : public Registry {
public:
    RefusingAfterWrite(Registry& real, int write, std::vector<std::wstring> keys)
        : real_(real), refuseAfter_(write), keys_(std::move(keys)) {}
    RegistryValue read(const std::wstring& path) override { return real_.read(path); }
    std::optional<RegistryValue> readIfPresent(const std::wstring& path) override {
        return real_.readIfPresent(path);
    }
    void write(const std::wstring& path, const RegistryValue& data) override {
        real_.write(path, data);
        if (++writes_ == refuseAfter_) {
            for (const std::wstring& key : keys_) {
                test::setKeyDacl(HKEY_LOCAL_MACHINE, key, L"D:P(D;;0x6;;;WD)(A;;KA;;;WD)");
            }
        }
    }
    RegistryValueState capture(const std::wstring& path) override { return real_.capture(path); }
    void restore(const std::wstring& path, const RegistryValueState& before) override {
        real_.restore(path, before);
    }

private:
    Registry& real_;
    int refuseAfter_;
    std::vector<std::wstring> keys_;
    int writes_ = 0;
};

// Takes the four paths' states before a test and puts them back after it.
class PortChangeSetOnTheRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* port : {L"888", L"080"}) {
            for (const RegistryWrite& write : buildPortChangeSet(port)) {
                saved_.emplace_back(write.path, registry.capture(write.path));
            }
        }
    }
    void TearDown() override {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            registry.restore(it->first, it->second);
        }
    }

    // Applies the change to 888 while writes under the key are refused; the error report.
    std::wstring reportWithWritesRefusedUnder(const std::wstring& key) {
        test::setKeyDacl(HKEY_LOCAL_MACHINE, key, L"D:P(D;;0x6;;;WD)(A;;KA;;;WD)");
        const std::wstring report = reportOfApplying(registry, L"888");
        test::setKeyDacl(HKEY_LOCAL_MACHINE, key, L"D:(A;;KA;;;WD)");
        return report;
    }

    Registry& registry = win32::systemRegistry();

private:
    std::vector<std::pair<std::wstring, RegistryValueState>> saved_;
};

struct StoredCase {
    const char* label;
    const wchar_t* port;
    DWORD number;
};

class PortStoredOnTheRegistry : public PortChangeSetOnTheRegistry,
                                public ::testing::WithParamInterface<StoredCase> {};

// The listener values hold the number; the open-port records keep the text as typed.
TEST_P(PortStoredOnTheRegistry, AsNumbersAndOpenPortRecords) {
    const std::wstring port = GetParam().port;
    applyTo(registry, buildPortChangeSet(port));

    const RawValue number{REG_DWORD, bytesOf(GetParam().number)};
    EXPECT_EQ(hklm(tdsKey, L"PortNumber"), number);
    EXPECT_EQ(hklm(rdpKey, L"PortNumber"), number);
    for (const std::wstring& list : {standardList, domainList}) {
        EXPECT_EQ(hklm(list, port + L":TCP "),
                  (RawValue{REG_SZ, bytesOf(port + L":TCP:*:Enabled:" + port)}));
        EXPECT_FALSE(hklm(list, port + L":TCP"));
    }
}

INSTANTIATE_TEST_SUITE_P(Ports, PortStoredOnTheRegistry,
                         ::testing::Values(StoredCase{"Port888", L"888", 888},
                                           StoredCase{"Port080KeepsItsLeadingZero", L"080", 80}),
                         CaseLabel());

TEST_F(PortChangeSetOnTheRegistry, AWriteRefusedOnTheStandardListLeavesAllFourAsBefore) {
    // One listener value that held a port before, one key chain that did not exist.
    test::writeRawValue(HKEY_LOCAL_MACHINE, rdpKey, L"PortNumber", REG_DWORD, bytesOf(DWORD{3389}));
    test::deleteKeyTree(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Terminal "
                                            L"Server\\Wds");
    test::createKey(HKEY_LOCAL_MACHINE, standardList);
    const std::vector<PathState> before = allFourStates();
    const std::wstring report = reportWithWritesRefusedUnder(standardList);

    EXPECT_EQ(report, win32::errorReportText(5, accessDeniedText()));
    const std::vector<PathState> after = allFourStates();
    EXPECT_TRUE(after[0] == before[0]) << "the Tds listener value or its keys changed";
    EXPECT_TRUE(after[1] == before[1]) << "the RDP-Tcp listener value changed";
    EXPECT_TRUE(after[2] == before[2]) << "the standard profile's list changed";
    EXPECT_TRUE(after[3] == before[3]) << "the domain profile's list changed";
    EXPECT_EQ(hklm(rdpKey, L"PortNumber"), (RawValue{REG_DWORD, bytesOf(DWORD{3389})}));
    EXPECT_FALSE(test::keyExists(HKEY_LOCAL_MACHINE, tdsKey));
}

// A configured server: both listener values hold 3389, the standard list already has an
// older record under the new port's name, the domain list key exists.
void seedConfiguredServer() {
    test::writeRawValue(HKEY_LOCAL_MACHINE, tdsKey, L"PortNumber", REG_DWORD, bytesOf(DWORD{3389}));
    test::writeRawValue(HKEY_LOCAL_MACHINE, rdpKey, L"PortNumber", REG_DWORD, bytesOf(DWORD{3389}));
    test::writeRawValue(HKEY_LOCAL_MACHINE, standardList, L"888:TCP ", REG_SZ,
                        bytesOf(L"888:TCP:*:Disabled:older"));
    test::createKey(HKEY_LOCAL_MACHINE, domainList);
}

class RefusedWriteAtEachPosition : public PortChangeSetOnTheRegistry,
                                   public ::testing::WithParamInterface<int> {};

TEST_P(RefusedWriteAtEachPosition, LeavesAllFourValuesByteForByteAsBefore) {
    const std::wstring refusingKeys[] = {tdsKey, rdpKey, standardList, domainList};
    const std::wstring& refusing = refusingKeys[GetParam() - 1];
    seedConfiguredServer();
    const std::vector<PathState> before = allFourStates();
    const std::wstring report = reportWithWritesRefusedUnder(refusing);

    // The refused write changed nothing, so nothing failed to be put back either.
    EXPECT_EQ(report, win32::errorReportText(5, accessDeniedText()));
    const std::vector<PathState> after = allFourStates();
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_TRUE(after[i] == before[i]) << "value " << i + 1 << " changed";
    }
    EXPECT_EQ(hklm(standardList, L"888:TCP "),
              (RawValue{REG_SZ, bytesOf(L"888:TCP:*:Disabled:older")}));
}

INSTANTIATE_TEST_SUITE_P(Positions, RefusedWriteAtEachPosition, ::testing::Values(1, 2, 3, 4));

TEST_F(PortChangeSetOnTheRegistry, APutBackRefusedTooIsReportedOnASecondLine) {
    seedConfiguredServer();
    const std::vector<PathState> before = allFourStates();
    // After write 2, write 3 is refused, and so is putting write 1 back.
    RefusingAfterWrite refusing(registry, 2, {tdsKey, standardList});

    const std::wstring report = reportOfApplying(refusing, L"888");
    for (const std::wstring& key : {tdsKey, standardList}) {
        test::setKeyDacl(HKEY_LOCAL_MACHINE, key, L"D:(A;;KA;;;WD)");
    }

    EXPECT_EQ(report,
              win32::errorReportText(5, accessDeniedText() + L"\r\n恢复原值失败（错误 5）：" +
                                            accessDeniedText()));
    const std::vector<PathState> after = allFourStates();
    EXPECT_EQ(hklm(tdsKey, L"PortNumber"), (RawValue{REG_DWORD, bytesOf(DWORD{888})}))
        << "write 1 could not be put back";
    EXPECT_TRUE(after[1] == before[1]) << "write 2 was not put back";
    EXPECT_TRUE(after[2] == before[2]);
    EXPECT_TRUE(after[3] == before[3]);
}

} // namespace
} // namespace velkora::test
