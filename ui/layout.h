#pragma once

#include <array>
#include <optional>

namespace velkora::ui {

// Control ids. None of them is IDOK (1) or IDCANCEL (2): the dialog manager sends those for
// Enter and Esc, and neither key may do anything here.
enum ControlId : int {
    Frame1 = 100,
    Label1,
    Label3,
    Text1,
    Label2,
    Label5,
    Label6,
    Command1,
    Command2,
};

enum class ControlKind { Frame, Label, TextBox, Button };
enum class Container { Window, Frame1 };

// A rectangle in twips (1/1440 inch), relative to the container's top-left corner.
struct TwipRect {
    int left;
    int top;
    int width;
    int height;
};

struct Rgb {
    unsigned char red;
    unsigned char green;
    unsigned char blue;
};

struct ControlLayout {
    ControlId id;
    ControlKind kind;
    Container container;
    const wchar_t* caption; // nullptr: set at load
    TwipRect rect;
    std::optional<Rgb> textColor;
};

// Every coordinate of the window lives here, in twips.
constexpr TwipRect clientArea{0, 0, 4635, 3345};
constexpr TwipRect bannerArea{0, 0, 4635, 990};

// The controls in tab-index order (creation order, hence also the order Tab walks).
extern const std::array<ControlLayout, 9> controls;

const ControlLayout& layoutOf(ControlId id);

// pixels = twips * dpi / 1440, rounded as MulDiv rounds.
int twipsToPixels(int twips, int dpi);

} // namespace velkora::ui
