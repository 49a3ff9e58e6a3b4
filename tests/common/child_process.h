#pragma once

#include <string>

namespace velkora::test {

// The folder of this test program; the programs under test are copied next to it.
std::wstring driverFolder();

} // namespace velkora::test
