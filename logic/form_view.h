#pragma once

#include <string>

namespace velkora {

// What the main window offers the logic: the text of the port field and the captions
// of the three labels that change.
class FormView {
public:
    virtual ~FormView() = default;
    virtual std::wstring text1() const = 0;                  // the port field
    virtual void setLabel2(const std::wstring& caption) = 0; // the current port
    virtual void setLabel5(const std::wstring& caption) = 0; // the date and credit line
    virtual void setLabel6(const std::wstring& caption) = 0; // the notice
};

} // namespace velkora
