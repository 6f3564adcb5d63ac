// The window built from its design table (window/design.cpp): each kind of
// control made with its look.

#include <QFrame>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

#include "window/Unit1.h"
#include "window/design.h"

namespace {

QColor Colour(std::uint32_t rgb)
{
    return QColor::fromRgb(QRgb(0xFF000000u | rgb));
}

QFont DesignFont(const char* family, int pixelHeight, bool bold, bool italic)
{
    QFont font(family);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    font.setItalic(italic);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

void SetTextColour(QWidget* widget, const QColor& colour)
{
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        SetRoleColour(widget, role, colour);
}

void SetBackground(QWidget* widget, const QColor& colour)
{
    SetRoleColour(widget, QPalette::Window, colour);
    SetRoleColour(widget, QPalette::Base, colour);
    widget->setAutoFillBackground(true);
}

// The 3-pixel frame line of the window: white, grey, white.
QLabel* MakeFrameLine(QWidget* parent, bool horizontal)
{
    QImage line(horizontal ? 1 : 3, horizontal ? 3 : 1, QImage::Format_RGB32);
    const QRgb shades[3] = {qRgb(255, 255, 255), qRgb(0x84, 0x82, 0x84), qRgb(255, 255, 255)};
    for (int i = 0; i < 3; ++i)
        line.setPixel(horizontal ? 0 : i, horizontal ? i : 0, shades[i]);
    auto* image = new QLabel(parent);
    image->setScaledContents(true);
    image->setPixmap(QPixmap::fromImage(line));
    return image;
}

// Rows of a fixed height, as the list views of the design have.
class RowHeightDelegate : public QStyledItemDelegate {
public:
    RowHeightDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), Height(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(Height);
        return size;
    }

private:
    int Height;
};

// A list view in report style without headers, shown but not usable.
QTreeWidget* MakeListView(QWidget* parent, const ControlDesign& row)
{
    auto* list = new QTreeWidget(parent);
    int columns = 0;
    while (columns < int(row.Columns.size()) && row.Columns[std::size_t(columns)] > 0)
        ++columns;
    list->setColumnCount(columns);
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    list->setIndentation(0);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setFocusPolicy(Qt::NoFocus);
    list->setTextElideMode(Qt::ElideNone);
    const QFont font = DesignFont(row.Font.Family, row.Font.Pixels, row.Font.Bold, row.Font.Italic);
    list->setItemDelegate(new RowHeightDelegate(QFontMetrics(font).height() + 2, list));
    for (int i = 0; i < columns; ++i)
        list->setColumnWidth(i, row.Columns[std::size_t(i)]);
    for (auto role : {QPalette::Base, QPalette::Window})
        SetRoleColour(list, role, Colour(row.Back));
    SetRoleColour(list, QPalette::Highlight, Colour(row.Text));
    SetRoleColour(list, QPalette::HighlightedText, Qt::white);
    list->setFrameShape(QFrame::Panel);
    list->setFrameShadow(QFrame::Sunken);
    list->setLineWidth(1);
    return list;
}

// A navy panel over the well, its title on its frame.
QGroupBox* MakePanelBox(QWidget* parent, const ControlDesign& row)
{
    auto* box = new QGroupBox(QString::fromUtf8(row.Caption), parent);
    box->setStyleSheet(QString("QGroupBox#%1 { background: %2; color: %3; border: 2px groove #9090C0;"
                               " margin-top: 8px; padding-top: 0px; }"
                               "QGroupBox#%1::title { subcontrol-origin: margin; subcontrol-position: top left;"
                               " left: 8px; top: 0px; padding: 0 3px; background: %2; }")
                           .arg(row.Name, Colour(row.Back).name(), Colour(row.Text).name()));
    return box;
}

// Makes one control of the design table, of its kind, in its parent.
QObject* MakeControl(const ControlDesign& row, QWidget* parent, QMenu* menu)
{
    const QString caption = QString::fromUtf8(row.Caption);
    QWidget* made = nullptr;
    switch (row.Kind) {
    case ControlKind::FrameLine:
        made = MakeFrameLine(parent, row.Place.width() > row.Place.height());
        break;
    case ControlKind::Line:
        made = new QWidget(parent);
        made->setAttribute(Qt::WA_TransparentForMouseEvents);
        break;
    case ControlKind::Image: {
        auto* image = new QLabel(parent);
        image->setPixmap(QPixmap(caption));
        made = image;
        break;
    }
    case ControlKind::Label:
    case ControlKind::Link:
    case ControlKind::Cover: {
        auto* label = row.Kind == ControlKind::Link ? new TClickLabel(caption, parent) : new QLabel(caption, parent);
        label->setAlignment(row.Align);
        label->setContentsMargins(0, row.TopInset, 0, 0);
        if (row.Kind == ControlKind::Link)
            label->setCursor(Qt::PointingHandCursor);
        if (row.Kind == ControlKind::Cover) {
            label->setFrameStyle(QFrame::Panel | QFrame::Raised);
            label->setLineWidth(5);
            label->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        made = label;
        break;
    }
    case ControlKind::ListView:
        made = MakeListView(parent, row);
        break;
    case ControlKind::PaintBox:
        made = new TPaintBox(parent);
        break;
    case ControlKind::NameEdit:
        made = new TNameEdit(parent);
        break;
    case ControlKind::PanelBox:
        made = MakePanelBox(parent, row);
        break;
    case ControlKind::Frame:
        made = new QGroupBox(parent);
        made->setStyleSheet(QString("QGroupBox#%1 { border: 1px solid #6060A0; margin: 0; }").arg(row.Name));
        break;
    case ControlKind::Container:
    case ControlKind::CellView:
        made = row.Kind == ControlKind::Container ? new QWidget(parent) : new QLabel(parent);
        break;
    case ControlKind::Button:
        made = new QPushButton(caption, parent);
        made->setFocusPolicy(Qt::NoFocus);
        break;
    case ControlKind::CheckBox:
    case ControlKind::RadioButton: {
        QAbstractButton* button = row.Kind == ControlKind::CheckBox ? static_cast<QAbstractButton*>(new QCheckBox(parent))
                                                                    : new QRadioButton(caption, parent);
        button->setChecked(row.Checked);
        button->setFocusPolicy(Qt::NoFocus);
        made = button;
        break;
    }
    case ControlKind::ColourPanel: {
        auto* panel = new QLabel(parent);
        panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
        panel->setLineWidth(1);
        panel->setCursor(Qt::PointingHandCursor);
        made = panel;
        break;
    }
    case ControlKind::MenuItem:
        return menu->addAction(caption);
    }
    made->setGeometry(row.Place);
    if (row.Font.Family)
        made->setFont(DesignFont(row.Font.Family, row.Font.Pixels, row.Font.Bold, row.Font.Italic));
    if (row.Text != NoColour) {
        // A radio button's dot keeps its dark colour: only the caption is light.
        if (row.Kind == ControlKind::RadioButton) {
            QPalette palette = made->palette();
            palette.setColor(QPalette::WindowText, Colour(row.Text));
            made->setPalette(palette);
        } else {
            SetTextColour(made, Colour(row.Text));
        }
    }
    if (row.Back != NoColour && row.Kind != ControlKind::PanelBox && row.Kind != ControlKind::ListView)
        SetBackground(made, Colour(row.Back));
    if (row.Hidden)
        made->hide();
    made->setEnabled(!row.Disabled);
    return made;
}

// Puts a built control into the window's member that the table names.
struct Binder {
    TForm1& Form;
    QObject* Made;
    void operator()(std::monostate) const {}
    void operator()(PanelSlot slot) const { (Form.*slot.Array)[std::size_t(slot.Index)] = static_cast<QLabel*>(Made); }
    template <typename T>
    void operator()(T* TForm1::*member) const
    {
        Form.*member = static_cast<T*>(Made);
    }
};

}  // namespace

void TPaintBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (OnPaint)
        OnPaint(painter);
}

void TForm1::CreateControls()
{
    // The design, 800 x 600; the window around it is black where it is larger
    // (full screen).
    ClientArea = new QWidget(this);
    ClientArea->setObjectName("ClientArea");
    ClientArea->setGeometry(0, 0, DesignWidth, DesignHeight);
    SetRoleColour(this, QPalette::Window, Qt::black);
    setAutoFillBackground(true);
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");

    for (const ControlDesign& row : WindowDesign()) {
        QWidget* parent = ClientArea;
        if (row.Parent)
            parent = ClientArea->findChild<QWidget*>(row.Parent);
        QObject* made = MakeControl(row, parent, PopupMenu1);
        made->setObjectName(row.Name);
        std::visit(Binder{*this, made}, row.Slot);
        DesignObjects.push_back(made);
    }
    for (const KeyHelpRow& row : DesignKeyHelp())
        new QTreeWidgetItem(LV2, {QString::fromUtf8(row.Key), QString::fromUtf8(row.Function)});
    const GameOptions builtIn;
    for (int k = 0; k < 6; ++k)
        SetPanelColour(k, WinColour(builtIn.Colours[std::size_t(k)]));
    // Not filled: the well picture covers 218 x 559 of it, and the strip
    // beside and below shows the window's background through.
    PB->OnPaint = [this](QPainter& painter) { FormPaint(painter); };
}
