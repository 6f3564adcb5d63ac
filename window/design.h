#pragma once
// The window design as one table: every control with its kind, place,
// font, colours, first text and first state, in the design's component
// order. The window builds its controls from it, the caption switch walks
// it, and the layout test reads it.

#include <QRect>
#include <QString>
#include <array>
#include <cstdint>
#include <span>
#include <variant>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QWidget;
class TClickLabel;
class TForm1;
class TPaintBox;

enum class ControlKind {
    FrameLine,     // the window's 3-pixel white, grey, white line
    Line,          // a 1-pixel line around the well
    Image,         // a picture from the resources
    Label,
    Link,          // a label that takes clicks
    Cover,         // a panel with a raised bevel over the well; it takes no clicks
    ListView,      // report style, no headers, shown but not usable
    PaintBox,
    NameEdit,
    PanelBox,      // a navy group box over the well (about, options)
    Frame,         // a plain group box
    Container,     // a frame without a look of its own
    Button,
    CheckBox,
    RadioButton,
    CellView,      // a cell picture of the options panel
    ColourPanel,   // a cell colour of the options panel; clicked to choose it
    MenuItem,      // an item of the popup menu
};

// How the caption switch treats a kind, as it acts by control class.
enum class CaptionClass { Button, Image, MenuItem, Label, Edit, ListView, Other };
CaptionClass CaptionClassOf(ControlKind kind);

struct DesignFont {
    const char* Family = nullptr;   // nullptr: the parent's font
    int Pixels = 0;
    bool Bold = false;
    bool Italic = false;
};

// Colours as 0xRRGGBB; NoColour leaves the style's.
inline constexpr std::uint32_t NoColour = 0xFFFFFFFF;

// Where the built control goes in the window's members.
struct PanelSlot {
    std::array<QLabel*, 6> TForm1::*Array;
    int Index;
};
using ControlSlot =
    std::variant<std::monostate, QLabel * TForm1::*, TClickLabel * TForm1::*, QTreeWidget * TForm1::*,
                 QLineEdit * TForm1::*, TPaintBox * TForm1::*, QWidget * TForm1::*, QGroupBox * TForm1::*,
                 QPushButton * TForm1::*, QCheckBox * TForm1::*, QRadioButton * TForm1::*, QAction * TForm1::*,
                 PanelSlot>;

struct ControlDesign {
    const char* Name;
    ControlKind Kind;
    ControlSlot Slot;
    const char* Parent = nullptr;   // nullptr: the design's client area
    QRect Place = {};
    DesignFont Font = {};
    std::uint32_t Text = NoColour;
    std::uint32_t Back = NoColour;
    const char* Caption = "";       // UTF-8; a resource for an image
    Qt::Alignment Align = Qt::AlignLeft | Qt::AlignTop;
    bool Hidden = false;
    bool Disabled = false;
    bool Checked = false;
    std::array<int, 3> Columns = {};   // list views: the column widths
    int TopInset = 0;                  // space above a label's text
};

std::span<const ControlDesign> WindowDesign();

// The key help list: the key column, which never changes, and the design's
// texts of the function column until a language is first set.
struct KeyHelpRow {
    const char* Key;
    const char* Function;
};
std::span<const KeyHelpRow> DesignKeyHelp();
