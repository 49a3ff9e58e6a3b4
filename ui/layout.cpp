#include "ui/layout.h"

#include <windows.h>

namespace velkora::ui {

const std::array<ControlLayout, 9> controls{{
    {Frame1, ControlKind::Frame, Container::Window, L"Velkora", {120, 970, 4415, 2160}, {}},
    {Label1, ControlKind::Label, Container::Frame1, L"当前远程端口：", {120, 360, 1335, 255}, {}},
    {Label3, ControlKind::Label, Container::Frame1, L"输入更改端口：", {120, 840, 1335, 255}, {}},
    {Text1, ControlKind::TextBox, Container::Frame1, L"", {1440, 780, 1095, 270}, {}},
    {Label2, ControlKind::Label, Container::Frame1, nullptr, {1440, 360, 975, 255}, Rgb{0, 0, 128}},
    {Label5, ControlKind::Label, Container::Window, nullptr, {120, 3140, 4575, 255}, {}},
    {Label6,
     ControlKind::Label,
     Container::Frame1,
     nullptr,
     {120, 1200, 2655, 855},
     Rgb{192, 0, 0}},
    {Command1, ControlKind::Button, Container::Frame1, L"修改", {3000, 730, 1215, 375}, {}},
    {Command2, ControlKind::Button, Container::Frame1, L"退出", {3000, 1440, 1215, 375}, {}},
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
