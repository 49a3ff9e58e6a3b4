#pragma once

// Registries a port change may meet, for tests that compare the registry before and after.

#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "tests/host/fakes.h"
#include "tests/host/registry_paths.h"

namespace velkora::test {

enum class Arrangement {
    // A configured server: the usual port, one listener value of an unexpected type, an
    // old entry of another type under the name the change will use, a missing list key.
    Server,
    // Nothing under the firewall's control set at all, as on a fresh Wine prefix.
    Bare,
};

inline const char* arrangementName(Arrangement a) {
    return a == Arrangement::Server ? "Server" : "Bare";
}

// Every write position 1 to 4, on each arrangement, named like "Write3_Server".
inline auto eachWritePositionOnEachArrangement() {
    return ::testing::Combine(::testing::Values(1, 2, 3, 4),
                              ::testing::Values(Arrangement::Server, Arrangement::Bare));
}

inline std::string
positionAndArrangementName(const ::testing::TestParamInfo<std::tuple<int, Arrangement>>& info) {
    return "Write" + std::to_string(std::get<0>(info.param)) + "_" +
           arrangementName(std::get<1>(info.param));
}

inline void arrange(FakeRegistry& registry, Arrangement arrangement) {
    registry.setValue(tdsPort, dwordValue(3389));
    if (arrangement == Arrangement::Bare) {
        registry.setValue(rdpTcpPort, dwordValue(3389));
        return;
    }
    registry.setValue(rdpTcpPort, StoredRegistryValue{regBinary, {0x3D, 0x0D, 0x00, 0x00}});
    registry.setValue(standardList + L"\\3389:TCP ", stringValue(L"3389:TCP:*:Enabled:3389"));
    registry.setValue(standardList + L"\\888:TCP ", dwordValue(1));
    registry.createKey(L"HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\SharedAccess\\"
                       L"Parameters\\FirewallPolicy\\DomainProfile");
}

} // namespace velkora::test
