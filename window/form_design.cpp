// The window design: every control at its place with its look.

#include <QFrame>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

#include "window/Unit1.h"

namespace {

const char* const Serif = "Liberation Serif";   // stands in for Times New Roman
const char* const Sans = "Liberation Sans";     // stands in for Arial

QFont DesignFont(const char* family, int pixelHeight, bool bold = false, bool italic = false)
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

template <typename Label = QLabel>
Label* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect place, const QFont& font,
                 const QColor& colour, Qt::Alignment align = Qt::AlignLeft | Qt::AlignTop)
{
    auto* label = new Label(text, parent);
    label->setObjectName(name);
    label->setGeometry(place);
    label->setFont(font);
    label->setAlignment(align);
    SetTextColour(label, colour);
    return label;
}

// The 3-pixel frame line of the window: white, grey, white.
QLabel* MakeFrameLine(QWidget* parent, const char* name, QRect place, bool horizontal)
{
    QImage line(horizontal ? 1 : 3, horizontal ? 3 : 1, QImage::Format_RGB32);
    const QRgb shades[3] = {qRgb(255, 255, 255), qRgb(0x84, 0x82, 0x84), qRgb(255, 255, 255)};
    for (int i = 0; i < 3; ++i)
        line.setPixel(horizontal ? 0 : i, horizontal ? i : 0, shades[i]);
    auto* image = new QLabel(parent);
    image->setObjectName(name);
    image->setGeometry(place);
    image->setScaledContents(true);
    image->setPixmap(QPixmap::fromImage(line));
    return image;
}

QWidget* MakeLine(QWidget* parent, const char* name, QRect place, const QColor& colour)
{
    auto* line = new QWidget(parent);
    line->setObjectName(name);
    line->setGeometry(place);
    SetBackground(line, colour);
    line->setAttribute(Qt::WA_TransparentForMouseEvents);
    return line;
}

QLabel* MakeImage(QWidget* parent, const char* name, QRect place, const QString& resource)
{
    auto* image = new QLabel(parent);
    image->setObjectName(name);
    image->setGeometry(place);
    image->setPixmap(QPixmap(resource));
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
QTreeWidget* MakeListView(QWidget* parent, const char* name, QRect place, const QFont& font,
                          const std::vector<int>& widths)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setGeometry(place);
    list->setFont(font);
    list->setColumnCount(int(widths.size()));
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    list->setIndentation(0);
    list->setUniformRowHeights(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setFocusPolicy(Qt::NoFocus);
    list->setTextElideMode(Qt::ElideNone);
    list->setItemDelegate(new RowHeightDelegate(QFontMetrics(font).height() + 2, list));
    for (std::size_t i = 0; i < widths.size(); ++i)
        list->setColumnWidth(int(i), widths[i]);
    const QColor back = ToQColor(0xC8D0D4), navy(0, 0, 0x80);
    SetRoleColour(list, QPalette::Base, back);
    SetRoleColour(list, QPalette::Window, back);
    SetRoleColour(list, QPalette::Text, navy);
    SetRoleColour(list, QPalette::Highlight, navy);
    SetRoleColour(list, QPalette::HighlightedText, Qt::white);
    list->setFrameShape(QFrame::Panel);
    list->setFrameShadow(QFrame::Sunken);
    list->setLineWidth(1);
    list->setEnabled(false);
    return list;
}

QGroupBox* MakePanelBox(QWidget* parent, const char* name, const QString& title, QRect place)
{
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(name);
    box->setGeometry(place);
    box->setFont(DesignFont(Sans, 12, true));
    box->setStyleSheet(QString("QGroupBox#%1 { background: #000080; color: #EEECD7; border: 2px groove #9090C0;"
                               " margin-top: 8px; padding-top: 0px; }"
                               "QGroupBox#%1::title { subcontrol-origin: margin; subcontrol-position: top left;"
                               " left: 8px; top: 0px; padding: 0 3px; background: #000080; }")
                           .arg(name));
    box->hide();
    return box;
}

// The key help of the window design: key, then what it does.
const char* const KeyHelp[17][2] = {
    {"  ENTER", " -   Start / Stop  Game"},      {"  SPACE", " -   Drop  Figure"},
    {"  NUM 2", " -   Move Down"},               {"  NUM 4", " -   Move  Left"},
    {"  NUM 5", " -   Rotate  CW"},              {"  NUM 6", " -   Move  Right"},
    {"  NUM 8", " -   Rotate  CCW"},             {" 1, 2, 3", " -   Change Color Mode"},
    {"  L", " -   Language ENG / RUS"},          {"  S", " -   Sound  ON / OFF"},
    {"  A", " -   AutoPilot  ON / OFF"},         {"  P", " -   Pause  ON"},
    {"  F", " -   Full  Screen ON / OFF"},       {"  O", " -   Options..."},
    {"  F1", " -   About Program..."},           {"  ESC", " -   Boss  Coming!.."},
    {"  Q, F10", " -   Quit  Game"},
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
    const QColor lime(0, 255, 0), aqua(0, 255, 255), yellow(255, 255, 0), navy(0, 0, 0x80);
    const QColor panelText = ToQColor(0xD7ECEE);

    // The design, 800 x 600; the window around it is black where it is larger
    // (full screen).
    ClientArea = new QWidget(this);
    ClientArea->setObjectName("ClientArea");
    ClientArea->setGeometry(0, 0, DesignWidth, DesignHeight);
    QWidget* const area = ClientArea;
    SetRoleColour(this, QPalette::Window, Qt::black);
    setAutoFillBackground(true);

    Image5 = MakeFrameLine(area, "Image5", {11, 4, 778, 3}, true);
    Image6 = MakeFrameLine(area, "Image6", {11, 593, 778, 3}, true);
    Image4 = MakeFrameLine(area, "Image4", {5, 10, 3, 580}, false);
    Image3 = MakeFrameLine(area, "Image3", {792, 10, 3, 580}, false);

    Label6 = MakeLabel(area, "Label6", "VANTORIX II", {18, 14, 111, 18}, DesignFont(Sans, 11, false, true), lime);
    Label11 = MakeLabel<TClickLabel>(area, "Label11", "ENGLISH", {18, 30, 63, 18}, DesignFont(Sans, 11, false, true),
                                     aqua);
    Label11->setCursor(Qt::PointingHandCursor);
    ImageRus = MakeImage(area, "ImageRus", {97, 13, 33, 17}, ":/emblem_rus");
    ImageEng = MakeImage(area, "ImageEng", {97, 13, 33, 17}, ":/emblem_eng");
    ImageEng->hide();

    const auto centred = Qt::AlignHCenter | Qt::AlignTop;
    Label3 = MakeLabel(area, "Label3", "GAME OVER", {15, 54, 266, 55}, DesignFont(Serif, 40, true), lime, centred);
    Label3->hide();
    Label2 = MakeLabel(area, "Label2", "УРОВЕНЬ", {72, 105, 153, 41}, DesignFont(Serif, 29, true), navy, centred);
    lbLe = MakeLabel(area, "lbLe", "1", {72, 138, 153, 49}, DesignFont(Serif, 40, true), yellow, centred);
    Label1 = MakeLabel(area, "Label1", "СЧЕТ", {72, 476, 153, 41}, DesignFont(Serif, 29, true), navy, centred);
    lbLi = MakeLabel(area, "lbLi", "0", {48, 509, 201, 43}, DesignFont(Serif, 40, true), yellow, centred);
    LBBonus = MakeLabel(area, "LBBonus", "БОНУС", {64, 50, 166, 52}, DesignFont(Serif, 45, true), aqua, centred);
    LBBonus->hide();
    LBBonusN = MakeLabel(area, "LBBonusN", "3.456.800", {16, 54, 265, 49}, DesignFont(Serif, 40, true), lime, centred);
    LBBonusN->hide();

    LV2 = MakeListView(area, "LV2", {45, 190, 209, 277}, DesignFont(Sans, 12, true), {53, 156});
    for (const auto& row : KeyHelp)
        new QTreeWidgetItem(LV2, {QString::fromUtf8(row[0]), QString::fromUtf8(row[1])});

    lbS = MakeLabel(area, "lbS", "ИГРАЕТ КОМПЬЮТЕР!!!", {25, 568, 244, 23}, DesignFont(Serif, 14, true, true), aqua,
                    centred);
    lbS->hide();

    PB = new TPaintBox(area);
    PB->setObjectName("PB");
    PB->setGeometry(291, 19, 225, 560);
    // Not filled: the well picture covers 218 x 559 of it, and the strip
    // beside and below shows the window's background through.
    PB->OnPaint = [this](QPainter& painter) { FormPaint(painter); };
    const QColor frame = ToQColor(0xA3A3A3);
    Image15 = MakeLine(area, "Image15", {287, 15, 225, 1}, frame);
    Image14 = MakeLine(area, "Image14", {288, 581, 225, 1}, frame);
    Image16 = MakeLine(area, "Image16", {287, 16, 1, 566}, frame);
    Image17 = MakeLine(area, "Image17", {512, 15, 1, 566}, frame);

    Image1 = MakeImage(area, "Image1", {0, 0, 32, 32}, ":/icon_main_32");
    Image1->hide();
    Image2 = MakeImage(area, "Image2", {0, 0, 32, 32}, ":/icon_reports_32");
    Image2->hide();

    Edit1 = new TNameEdit(area);
    Edit1->setObjectName("Edit1");
    Edit1->setGeometry(552, 17, 193, 30);
    Edit1->setFont(DesignFont(Serif, 19, true));
    Edit1->setMaxLength(14);
    SetTextColour(Edit1, navy);
    Edit1->hide();
    Edit1->setEnabled(false);

    Label4 = MakeLabel<TClickLabel>(area, "Label4", "30 Лучших", {600, 50, 113, 41}, DesignFont(Serif, 21), lime,
                                    centred);
    Label4->setCursor(Qt::PointingHandCursor);
    LV1 = MakeListView(area, "LV1", {552, 75, 201, 454}, DesignFont(Sans, 11, true), {25, 105, 71});
    LV1->setSelectionMode(QAbstractItemView::SingleSelection);
    Label8 = MakeLabel(area, "Label8", "Нажатие мышью - меню игры...", {551, 531, 202, 22}, DesignFont(Sans, 9), aqua,
                       centred);
    const auto right = Qt::AlignRight | Qt::AlignTop;
    Label5 = MakeLabel<TClickLabel>(area, "Label5", "Автор: команда Vantorix II", {640, 555, 137, 22},
                                    DesignFont(Sans, 11, false, true), lime, right);
    Label5->setCursor(Qt::PointingHandCursor);
    Label7 = MakeLabel(area, "Label7", "Идея: Vantorix, 1991", {648, 570, 129, 17},
                                    DesignFont(Sans, 11, false, true), lime, right);

    // Pause panel over the well; it takes no clicks.
    PauseBlocked = MakeLabel(area, "PauseBlocked", "Pause", {291, 19, 218, 559}, DesignFont(Serif, 27, true), navy,
                             Qt::AlignCenter);
    SetBackground(PauseBlocked, QColor(0xFF, 0xFF, 0xE1));
    PauseBlocked->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PauseBlocked->setLineWidth(5);
    PauseBlocked->setAttribute(Qt::WA_TransparentForMouseEvents);
    PauseBlocked->hide();

    GBAbout = MakePanelBox(area, "GBAbout", "Vantorix II ", {257, 234, 292, 165});
    Image7 = MakeImage(GBAbout, "Image7", {18, 30, 32, 32}, ":/icon_main_32");
    const QFont linkFont = DesignFont(Sans, 12, true);
    const QColor linkColour(0xFF, 0xFF, 0x80);
    Label9 = MakeLabel<TClickLabel>(GBAbout, "Label9", "E-mail...", {62, 26, 216, 18}, linkFont,
                                    linkColour);
    Label10 = MakeLabel<TClickLabel>(GBAbout, "Label10", "http://localhost:8642/", {62, 44, 216, 18}, linkFont,
                                     linkColour);
    Label12 = MakeLabel<TClickLabel>(GBAbout, "Label12", "http://localhost:8642/", {62, 62, 216, 18},
                                     linkFont, linkColour);
    for (QLabel* link : {Label9, Label10, Label12})
        link->setCursor(Qt::PointingHandCursor);
    LBAbout = MakeLabel(GBAbout, "LBAbout",
                        "VANTORIX II  © команда Vantorix II, 2006\nv. 1.3 beta 1340\nнаписано по мотивам и идее\n"
                        "VANTORIX  © 1991",
                        {9, 88, 269, 65}, DesignFont(Sans, 12, true), panelText, Qt::AlignHCenter | Qt::AlignTop);

    GBOptions = MakePanelBox(area, "GBOptions", "Vantorix II", {257, 120, 292, 369});
    BDefault = new QPushButton("Обычные цвета", GBOptions);
    BDefault->setObjectName("BDefault");
    BDefault->setGeometry(80, 24, 137, 25);
    Label15 = MakeLabel(GBOptions, "Label15", "Настройки цвета...", {50, 56, 193, 105}, DesignFont(Sans, 12, true),
                        panelText, Qt::AlignHCenter | Qt::AlignTop);
    SetBackground(Label15, Qt::black);
    Label15->setContentsMargins(0, 8, 0, 0);
    for (int k = 0; k < 6; ++k) {
        const int x = 51 + 32 * k;
        auto* view = new QLabel(GBOptions);
        view->setObjectName(QString("Image%1").arg(8 + k));
        view->setGeometry(x, 96, 31, 31);
        CellImageViews[k] = view;
        auto* panel = new QLabel(GBOptions);
        panel->setObjectName(QString("Panel%1").arg(1 + k));
        panel->setGeometry(x, 129, 31, 31);
        panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
        panel->setLineWidth(1);
        panel->setCursor(Qt::PointingHandCursor);
        ColourPanels[k] = panel;
        SetPanelColour(k, DefaultColours[k + 1]);
    }

    GBOptions1 = new QGroupBox(GBOptions);
    GBOptions1->setObjectName("GBOptions1");
    GBOptions1->setGeometry(14, 161, 265, 168);
    GBOptions1->setStyleSheet("QGroupBox#GBOptions1 { border: 1px solid #6060A0; margin: 0; }");
    const struct {
        QCheckBox** box;
        TClickLabel** label;
        const char* boxName;
        const char* labelName;
        const char* caption;
        bool checked;
    } switches[] = {
        {&ChBox_Anim, &Lb_Anim, "ChBox_Anim", "Lb_Anim", "Анимировать получение бонусов", true},
        {&ChBox_Sound, &Lb_Sound, "ChBox_Sound", "Lb_Sound", "Воспроизводить звук на PC Speaker", true},
        {&ChBox_Sound_ON, &Lb_Sound_ON, "ChBox_Sound_ON", "Lb_Sound_ON", "Звук включен (S)", true},
        {&ChBox_Rot_Inverse, &Lb_Rot_Inverse, "ChBox_Rot_Inverse", "Lb_Rot_Inverse", "Вращать в другую сторону", false},
    };
    for (int i = 0; i < 4; ++i) {
        auto* box = new QCheckBox(GBOptions1);
        box->setObjectName(switches[i].boxName);
        box->setGeometry(12, 12 + 26 * i, 17, 17);
        box->setChecked(switches[i].checked);
        box->setFocusPolicy(Qt::NoFocus);
        *switches[i].box = box;
        auto* label = MakeLabel<TClickLabel>(GBOptions1, switches[i].labelName, switches[i].caption,
                                             {34, 12 + 26 * i, 225, 18}, DesignFont(Sans, 12, true), panelText);
        label->setCursor(Qt::PointingHandCursor);
        *switches[i].label = label;
    }
    RG_Lang = new QWidget(GBOptions1);
    RG_Lang->setObjectName("RG_Lang");
    RG_Lang->setGeometry(12, 122, 241, 34);
    RB_Eng = new QRadioButton("English", RG_Lang);
    RB_Eng->setObjectName("RB_Eng");
    RB_Eng->setGeometry(8, 8, 100, 20);
    RB_Rus = new QRadioButton("Русский", RG_Lang);
    RB_Rus->setObjectName("RB_Rus");
    RB_Rus->setGeometry(128, 8, 100, 20);
    for (QRadioButton* radio : {RB_Eng, RB_Rus}) {
        radio->setFont(DesignFont(Sans, 12, true));
        radio->setFocusPolicy(Qt::NoFocus);
        // Only the caption is light: the indicator keeps its dark dot.
        QPalette palette = radio->palette();
        palette.setColor(QPalette::WindowText, panelText);
        radio->setPalette(palette);
    }
    RB_Eng->setChecked(true);

    BOk = new QPushButton("OK", GBOptions);
    BOk->setObjectName("BOk");
    BOk->setGeometry(88, 334, 119, 25);
    for (QPushButton* button : {BDefault, BOk})
        button->setFocusPolicy(Qt::NoFocus);

    // Panels stack above the well: options over about over pause.
    PauseBlocked->raise();
    GBAbout->raise();
    GBOptions->raise();

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    const struct {
        QAction** action;
        const char* name;
        const char* caption;
    } items[] = {
        {&PublishInet, "PublishInet", "Опубликовать рекорды на сайте..."},
        {&LookInet, "LookInet", "Посмотреть рекорды на сайте..."},
        {&Erase_Results, "Erase_Results", "Удалить все рекорды..."},
        {&Params, "Params", "Настройки... (O)"},
        {&About, "About", "О Vantorix 1.3 (F1)"},
        {&MExit, "MExit", "Выход (Q, PgDn, F10)"},
    };
    for (const auto& item : items) {
        *item.action = PopupMenu1->addAction(QString::fromUtf8(item.caption));
        (*item.action)->setObjectName(item.name);
    }
}
