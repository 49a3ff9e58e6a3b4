#pragma once

#include <array>
#include <optional>

namespace velkora::ui {

// Control ids. None of them is IDOK (1) or IDCANCEL (2): the dialog manager sends those for
// Enter and Esc, and neither key may do anything here.
enum class ControlId : int {
    portFrame = 100,
    currentPortCaption,
    newPortCaption,
    portEdit,
    currentPortLabel,
    creditLine,
    notice,
    modifyButton,
    exitButton,
};

enum class ControlKind { Frame, Label, TextBox, Button };
enum class Container { Window, PortFrame };

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
