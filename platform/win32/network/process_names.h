#pragma once

#include <map>
#include <string>
#include <vector>

namespace velkora::win32 {

// The file name of a process's image ("nginx.exe"); empty when the process cannot be
// opened or asked (a protected process, or one that has ended).
std::wstring processImageName(unsigned long pid);

// The names of the running services, by the id of the process they run in. Empty when the
// service manager cannot be asked: naming is a courtesy, never a failure.
std::map<unsigned long, std::vector<std::wstring>> servicesByProcess();

} // namespace velkora::win32
