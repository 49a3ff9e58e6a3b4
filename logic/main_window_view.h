#pragma once

#include <string>

namespace velkora {

// What the main window offers the logic: the text of the port field and the three texts
// that change.
class MainWindowView {
public:
    virtual ~MainWindowView() = default;
    virtual std::wstring portText() const = 0;
    virtual void showCurrentPort(const std::wstring& port) = 0;
    virtual void showCreditLine(const std::wstring& line) = 0; // the date and the maker
    virtual void showNotice(const std::wstring& notice) = 0;
};

} // namespace velkora
