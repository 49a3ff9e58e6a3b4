#pragma once

#include <string>

#include "platform/win32/services/service_manager.h"
#include "tests/common/registry_values.h"

namespace velkora::test {

const wchar_t* const standInService = L"TermService";
const wchar_t* const standInDependent = L"VelkoraTestDependent";

// The stand-in's test-only behaviour values (RefusePort, FailStart, NoStop); 0 removes one.
void setStandInBehaviour(const wchar_t* name, unsigned long value);
void clearStandInBehaviour();

// The folder of the stand-in's program in the prefix, ending with a backslash.
std::wstring folderOfStandIn();

// The Velkora folder of ProgramData, where the result log and the journal are; ending with a
// backslash.
std::wstring velkoraDataFolder();

// The last line of the result log without its time stamp; empty when there is none.
std::string lastResultLogLine();

// Whether something accepts TCP connections on 127.0.0.1 at the port.
bool acceptsConnections(unsigned long port);

// Puts the stand-ins back to their normal state: both running, listening on the port.
void resetStandIns(win32::ScmServiceManager& services, unsigned long port);

} // namespace velkora::test
