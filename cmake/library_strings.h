// Forced into every C++ object of the MinGW build. libstdc++ 12 leaves out its explicit
// instantiation declarations of std::string and std::wstring in C++20 mode, so that each object
// compiles its own copy of the string members it uses; these declarations take the library's
// one copy again (this code uses no string member that is new in C++20).
#pragma once
#ifdef __cplusplus
#include <string>
extern template class std::basic_string<char>;
extern template class std::basic_string<wchar_t>;
#endif
