// The message a program ends with when an exception reaches std::terminate, in place of the
// C++ runtime's own. That one names the exception's type demangled, and so brings the whole
// demangler (some 45 KB) into each exe for a text that only a fault ever prints. This one
// says the same, with the type as the compiler encodes it. Linked into each exe as an object,
// so that the runtime's terminate handler resolves to it and never to the library's.
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <exception>
#include <typeinfo>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    static bool terminating = false;
    if (terminating) {
        std::fputs("terminate called recursively\n", stderr);
        std::abort();
    }
    terminating = true;
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (type == nullptr) {
        std::fputs("terminate called without an active exception\n", stderr);
        std::abort();
    }
    std::fputs("terminate called after throwing an instance of '", stderr);
    std::fputs(type->name(), stderr);
    std::fputs("'\n", stderr);
    try {
        throw;
    } catch (const std::exception& exception) {
        std::fputs("  what():  ", stderr);
        std::fputs(exception.what(), stderr);
        std::fputs("\n", stderr);
    } catch (...) {
    }
    std::abort();
}

} // namespace __gnu_cxx
