#include "ui/layout.h"

#include <windows.h>

namespace velkora::ui {

// The old designer name of each control is kept at the end of its row.
const std::array<ControlLayout, 9> controls{{
    // clang-format off
    {ControlId::portFrame,          ControlKind::Frame,   Container::Window,    L"Velkora",        {120, 970, 4415, 2160},  {}},              // Frame1
    {ControlId::currentPortCaption, ControlKind::Label,   Container::PortFrame, L"当前远程端口：", {120, 360, 1335, 255},   {}},              // Label1
    {ControlId::newPortCaption,     ControlKind::Label,   Container::PortFrame, L"输入更改端口：", {120, 840, 1335, 255},   {}},              // Label3
    {ControlId::portEdit,           ControlKind::TextBox, Container::PortFrame, L"",               {1440, 780, 1095, 270},  {}},              // Text1
    {ControlId::currentPortLabel,   ControlKind::Label,   Container::PortFrame, nullptr,           {1440, 360, 975, 255},   Rgb{0, 0, 128}},  // Label2
    {ControlId::creditLine,         ControlKind::Label,   Container::Window,    nullptr,           {120, 3140, 4575, 255},  {}},              // Label5
    {ControlId::notice,             ControlKind::Label,   Container::PortFrame, nullptr,           {120, 1200, 2655, 855},  Rgb{192, 0, 0}},  // Label6
    {ControlId::modifyButton,       ControlKind::Button,  Container::PortFrame, L"修改",           {3000, 730, 1215, 375},  {}},              // Command1
    {ControlId::exitButton,         ControlKind::Button,  Container::PortFrame, L"退出",           {3000, 1440, 1215, 375}, {}},              // Command2
    // clang-format on
}};

const ControlLayout& layoutOf(ControlId id) {
    for (const ControlLayout& control : controls) {
        if (control.id == id) {
            return control;
        }
    }
    return controls.front(); // unreachable: every ControlId has a row
}

int twipsToPixels(int twips, int dpi) {
    return MulDiv(twips, dpi, 1440);
}

} // namespace velkora::ui
