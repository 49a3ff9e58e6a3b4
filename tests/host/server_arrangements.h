#pragma once

#include "tests/host/fakes.h"
#include "tests/host/registry_arrangements.h"
#include "tests/host/registry_paths.h"

namespace velkora::test {

// A server at 3389 on which port 8080 is held by a web server and 50000 lies in a range
// the system excluded.
inline void arrangeServer(FakePlatform& fake) {
    arrange(fake.registry, Arrangement::Server);
    fake.registry.setValue(rdpTcpPort, dwordValue(3389));
    fake.ports.bindErrors[8080] = 10048;
    fake.ports.holdersByPort[8080] = {{PortProtocol::Tcp, false, 2044, L"nginx.exe", {L"nginx"}}};
    fake.ports.bindErrors[50000] = 10013;
    fake.ports.bindErrors[4000] = 10049;
}

// The stand-in services listen on the port the registry holds when they start, and the
// lockout guard's probe sees their listener.
inline void arrangeServiceRestart(FakePlatform& fake) {
    fake.ports.liveListeners = &fake.services;
    fake.services.portSource = [&fake] {
        const std::vector<std::uint8_t> bytes = fake.registry.value(tdsPort)->bytes;
        return static_cast<long>(bytes[0] | (bytes[1] << 8));
    };
}

} // namespace velkora::test
