#include "window/design.h"

#include "window/Unit1.h"

namespace {

using K = ControlKind;

// Liberation's fonts stand in for Times New Roman and Arial.
constexpr DesignFont Serif(int pixels, bool bold = false, bool italic = false)
{
    return {"Liberation Serif", pixels, bold, italic};
}
constexpr DesignFont Sans(int pixels, bool bold = false, bool italic = false)
{
    return {"Liberation Sans", pixels, bold, italic};
}

constexpr std::uint32_t Lime = 0x00FF00, Aqua = 0x00FFFF, Yellow = 0xFFFF00, Navy = 0x000080;
constexpr std::uint32_t PanelText = 0xEEECD7, LinkText = 0xFFFF80, Frame = 0xA3A3A3;
constexpr auto Centred = Qt::AlignHCenter | Qt::AlignTop;
constexpr auto Right = Qt::AlignRight | Qt::AlignTop;

// In the design's component order: later controls lie over earlier ones.
const ControlDesign Design[] = {
    {"Image5", K::FrameLine, &TForm1::Image5, nullptr, {11, 4, 778, 3}},
    {"Image6", K::FrameLine, &TForm1::Image6, nullptr, {11, 593, 778, 3}},
    {"Image4", K::FrameLine, &TForm1::Image4, nullptr, {5, 10, 3, 580}},
    {"Image3", K::FrameLine, &TForm1::Image3, nullptr, {792, 10, 3, 580}},
    {"Label6", K::Label, &TForm1::Label6, nullptr, {18, 14, 111, 18}, Sans(11, false, true), Lime, NoColour,
     "VANTORIX II"},
    {"Label11", K::Link, &TForm1::Label11, nullptr, {18, 30, 63, 18}, Sans(11, false, true), Aqua, NoColour,
     "ENGLISH"},
    {"ImageRus", K::Image, &TForm1::ImageRus, nullptr, {97, 13, 33, 17}, {}, NoColour, NoColour, ":/emblem_rus"},
    {"ImageEng", K::Image, &TForm1::ImageEng, nullptr, {97, 13, 33, 17}, {}, NoColour, NoColour, ":/emblem_eng",
     {}, true},
    {"Label3", K::Label, &TForm1::Label3, nullptr, {15, 54, 266, 55}, Serif(40, true), Lime, NoColour, "GAME OVER",
     Centred, true},
    {"Label2", K::Label, &TForm1::Label2, nullptr, {72, 105, 153, 41}, Serif(29, true), Navy, NoColour, "УРОВЕНЬ",
     Centred},
    {"lbLe", K::Label, &TForm1::lbLe, nullptr, {72, 138, 153, 49}, Serif(40, true), Yellow, NoColour, "1",
     Centred},
    {"Label1", K::Label, &TForm1::Label1, nullptr, {72, 476, 153, 41}, Serif(29, true), Navy, NoColour, "СЧЕТ",
     Centred},
    {"lbLi", K::Label, &TForm1::lbLi, nullptr, {48, 509, 201, 43}, Serif(40, true), Yellow, NoColour, "0",
     Centred},
    {"LBBonus", K::Label, &TForm1::LBBonus, nullptr, {64, 50, 166, 52}, Serif(45, true), Aqua, NoColour, "БОНУС",
     Centred, true},
    {"LBBonusN", K::Label, &TForm1::LBBonusN, nullptr, {16, 54, 265, 49}, Serif(40, true), Lime, NoColour,
     "3.456.800", Centred, true},
    {"LV2", K::ListView, &TForm1::LV2, nullptr, {45, 190, 209, 277}, Sans(12, true), Navy, 0xD4D0C8, "", {},
     false, true, false, {53, 156}},
    {"lbS", K::Label, &TForm1::lbS, nullptr, {25, 568, 244, 23}, Serif(14, true, true), Aqua, NoColour,
     "ИГРАЕТ КОМПЬЮТЕР!!!", Centred, true},
    {"lbReplay", K::Label, &TForm1::lbReplay, nullptr, {15, 54, 266, 55}, Serif(36, true), Aqua, NoColour,
     "ПОВТОР", Centred, true},
    {"PB", K::PaintBox, &TForm1::PB, nullptr, {291, 19, 225, 560}},
    {"Image15", K::Line, &TForm1::Image15, nullptr, {287, 15, 225, 1}, {}, NoColour, Frame},
    {"Image14", K::Line, &TForm1::Image14, nullptr, {288, 581, 225, 1}, {}, NoColour, Frame},
    {"Image16", K::Line, &TForm1::Image16, nullptr, {287, 16, 1, 566}, {}, NoColour, Frame},
    {"Image17", K::Line, &TForm1::Image17, nullptr, {512, 15, 1, 566}, {}, NoColour, Frame},
    {"Image1", K::Image, &TForm1::Image1, nullptr, {0, 0, 32, 32}, {}, NoColour, NoColour, ":/icon_main_32", {},
     true},
    {"Image2", K::Image, &TForm1::Image2, nullptr, {0, 0, 32, 32}, {}, NoColour, NoColour, ":/icon_reports_32", {},
     true},
    {"Edit1", K::NameEdit, &TForm1::Edit1, nullptr, {552, 17, 193, 30}, Serif(19, true), Navy, NoColour, "", {},
     true, true},
    {"Label4", K::Link, &TForm1::Label4, nullptr, {600, 50, 113, 41}, Serif(21), Lime, NoColour, "30 Лучших",
     Centred},
    {"LV1", K::ListView, &TForm1::LV1, nullptr, {552, 75, 201, 454}, Sans(11, true), Navy, 0xD4D0C8, "", {},
     false, true, false, {25, 105, 71}},
    {"Label8", K::Label, &TForm1::Label8, nullptr, {551, 531, 202, 22}, Sans(9), Aqua, NoColour,
     "Нажатие мышью - меню игры...", Centred},
    {"Label5", K::Link, &TForm1::Label5, nullptr, {640, 555, 137, 22}, Sans(11, false, true), Lime, NoColour,
     "Автор: команда Vantorix II", Right},
    {"Label7", K::Label, &TForm1::Label7, nullptr, {648, 570, 129, 17}, Sans(11, false, true), Lime, NoColour,
     "Идея: Vantorix, 1991", Right},
    {"PauseBlocked", K::Cover, &TForm1::PauseBlocked, nullptr, {291, 19, 218, 559}, Serif(27, true), Navy, 0xFFFFE1,
     "Pause", Qt::AlignCenter, true},
    {"GBAbout", K::PanelBox, &TForm1::GBAbout, nullptr, {257, 234, 292, 165}, Sans(12, true), PanelText, Navy,
     "Vantorix II ", {}, true},
    {"Image7", K::Image, &TForm1::Image7, "GBAbout", {18, 30, 32, 32}, {}, NoColour, NoColour, ":/icon_main_32"},
    {"Label9", K::Link, &TForm1::Label9, "GBAbout", {62, 26, 216, 18}, Sans(12, true), LinkText, NoColour,
     "E-mail..."},
    {"Label10", K::Link, &TForm1::Label10, "GBAbout", {62, 44, 216, 18}, Sans(12, true), LinkText, NoColour,
     "http://localhost:8642/"},
    {"Label12", K::Link, &TForm1::Label12, "GBAbout", {62, 62, 216, 18}, Sans(12, true), LinkText, NoColour,
     "http://localhost:8642/"},
    {"LBAbout", K::Label, &TForm1::LBAbout, "GBAbout", {9, 88, 269, 65}, Sans(12, true), PanelText, NoColour,
     "VANTORIX II  © команда Vantorix II, 2006\nv. 1.3 beta 1340\nнаписано по мотивам и идее\nVANTORIX  © 1991",
     Centred},
    {"GBOptions", K::PanelBox, &TForm1::GBOptions, nullptr, {257, 120, 292, 369}, Sans(12, true), PanelText, Navy,
     "Vantorix II", {}, true},
    {"BDefault", K::Button, &TForm1::BDefault, "GBOptions", {80, 24, 137, 25}, {}, NoColour, NoColour,
     "Обычные цвета"},
    {"Label15", K::Label, &TForm1::Label15, "GBOptions", {50, 56, 193, 105}, Sans(12, true), PanelText, 0x000000,
     "Настройки цвета...", Centred, false, false, false, {}, 8},
    {"Image8", K::CellView, PanelSlot{&TForm1::CellImageViews, 0}, "GBOptions", {51, 96, 31, 31}},
    {"Panel1", K::ColourPanel, PanelSlot{&TForm1::ColourPanels, 0}, "GBOptions", {51, 129, 31, 31}},
    {"Image9", K::CellView, PanelSlot{&TForm1::CellImageViews, 1}, "GBOptions", {83, 96, 31, 31}},
    {"Panel2", K::ColourPanel, PanelSlot{&TForm1::ColourPanels, 1}, "GBOptions", {83, 129, 31, 31}},
    {"Image10", K::CellView, PanelSlot{&TForm1::CellImageViews, 2}, "GBOptions", {115, 96, 31, 31}},
    {"Panel3", K::ColourPanel, PanelSlot{&TForm1::ColourPanels, 2}, "GBOptions", {115, 129, 31, 31}},
    {"Image11", K::CellView, PanelSlot{&TForm1::CellImageViews, 3}, "GBOptions", {147, 96, 31, 31}},
    {"Panel4", K::ColourPanel, PanelSlot{&TForm1::ColourPanels, 3}, "GBOptions", {147, 129, 31, 31}},
    {"Image12", K::CellView, PanelSlot{&TForm1::CellImageViews, 4}, "GBOptions", {179, 96, 31, 31}},
    {"Panel5", K::ColourPanel, PanelSlot{&TForm1::ColourPanels, 4}, "GBOptions", {179, 129, 31, 31}},
    {"Image13", K::CellView, PanelSlot{&TForm1::CellImageViews, 5}, "GBOptions", {211, 96, 31, 31}},
    {"Panel6", K::ColourPanel, PanelSlot{&TForm1::ColourPanels, 5}, "GBOptions", {211, 129, 31, 31}},
    {"GBOptions1", K::Frame, &TForm1::GBOptions1, "GBOptions", {14, 161, 265, 168}},
    {"ChBox_Anim", K::CheckBox, &TForm1::ChBox_Anim, "GBOptions1", {12, 12, 17, 17}, {}, NoColour, NoColour, "", {},
     false, false, true},
    {"Lb_Anim", K::Link, &TForm1::Lb_Anim, "GBOptions1", {34, 12, 225, 18}, Sans(12, true), PanelText, NoColour,
     "Анимировать получение бонусов"},
    {"ChBox_Sound", K::CheckBox, &TForm1::ChBox_Sound, "GBOptions1", {12, 38, 17, 17}, {}, NoColour, NoColour, "",
     {}, false, false, true},
    {"Lb_Sound", K::Link, &TForm1::Lb_Sound, "GBOptions1", {34, 38, 225, 18}, Sans(12, true), PanelText, NoColour,
     "Воспроизводить звук на PC Speaker"},
    {"ChBox_Sound_ON", K::CheckBox, &TForm1::ChBox_Sound_ON, "GBOptions1", {12, 64, 17, 17}, {}, NoColour, NoColour,
     "", {}, false, false, true},
    {"Lb_Sound_ON", K::Link, &TForm1::Lb_Sound_ON, "GBOptions1", {34, 64, 225, 18}, Sans(12, true), PanelText,
     NoColour, "Звук включен (S)"},
    {"ChBox_Rot_Inverse", K::CheckBox, &TForm1::ChBox_Rot_Inverse, "GBOptions1", {12, 90, 17, 17}},
    {"Lb_Rot_Inverse", K::Link, &TForm1::Lb_Rot_Inverse, "GBOptions1", {34, 90, 225, 18}, Sans(12, true),
     PanelText, NoColour, "Вращать в другую сторону"},
    {"RG_Lang", K::Container, &TForm1::RG_Lang, "GBOptions1", {12, 122, 241, 34}},
    {"RB_Eng", K::RadioButton, &TForm1::RB_Eng, "RG_Lang", {8, 8, 100, 20}, Sans(12, true), PanelText, NoColour,
     "English", {}, false, false, true},
    {"RB_Rus", K::RadioButton, &TForm1::RB_Rus, "RG_Lang", {128, 8, 100, 20}, Sans(12, true), PanelText, NoColour,
     "Русский"},
    {"BOk", K::Button, &TForm1::BOk, "GBOptions", {88, 334, 119, 25}, {}, NoColour, NoColour, "OK"},
    {"PublishInet", K::MenuItem, &TForm1::PublishInet, nullptr, {}, {}, NoColour, NoColour,
     "Опубликовать рекорды на сайте..."},
    {"LookInet", K::MenuItem, &TForm1::LookInet, nullptr, {}, {}, NoColour, NoColour,
     "Посмотреть рекорды на сайте..."},
    {"WatchBest", K::MenuItem, &TForm1::WatchBest, nullptr, {}, {}, NoColour, NoColour,
     "Смотреть лучшую игру..."},
    {"Erase_Results", K::MenuItem, &TForm1::Erase_Results, nullptr, {}, {}, NoColour, NoColour,
     "Удалить все рекорды..."},
    {"Params", K::MenuItem, &TForm1::Params, nullptr, {}, {}, NoColour, NoColour, "Настройки... (O)"},
    {"About", K::MenuItem, &TForm1::About, nullptr, {}, {}, NoColour, NoColour, "О Vantorix 1.3 (F1)"},
    {"MExit", K::MenuItem, &TForm1::MExit, nullptr, {}, {}, NoColour, NoColour, "Выход (Q, PgDn, F10)"},
};

const KeyHelpRow KeyHelp[] = {
    {KeyHelpKeys[0], " -   Start / Stop  Game"},
    {KeyHelpKeys[1], " -   Drop  Figure"},
    {KeyHelpKeys[2], " -   Move Down"},
    {KeyHelpKeys[3], " -   Move  Left"},
    {KeyHelpKeys[4], " -   Rotate  CW"},
    {KeyHelpKeys[5], " -   Move  Right"},
    {KeyHelpKeys[6], " -   Rotate  CCW"},
    {KeyHelpKeys[7], " -   Change Color Mode"},
    {KeyHelpKeys[8], " -   Language ENG / RUS"},
    {KeyHelpKeys[9], " -   Sound  ON / OFF"},
    {KeyHelpKeys[10], " -   AutoPilot  ON / OFF"},
    {KeyHelpKeys[11], " -   Pause  ON"},
    {KeyHelpKeys[12], " -   Full  Screen ON / OFF"},
    {KeyHelpKeys[13], " -   Options..."},
    {KeyHelpKeys[14], " -   About Program..."},
    {KeyHelpKeys[15], " -   Boss  Coming!.."},
    {KeyHelpKeys[16], " -   Quit  Game"},
};

}  // namespace

CaptionClass CaptionClassOf(ControlKind kind)
{
    switch (kind) {
    case K::Button:
        return CaptionClass::Button;
    case K::FrameLine: case K::Line: case K::Image: case K::CellView:
        return CaptionClass::Image;
    case K::MenuItem:
        return CaptionClass::MenuItem;
    case K::Label: case K::Link:
        return CaptionClass::Label;
    case K::NameEdit:
        return CaptionClass::Edit;
    case K::ListView:
        return CaptionClass::ListView;
    default:
        return CaptionClass::Other;
    }
}

std::span<const ControlDesign> WindowDesign()
{
    return Design;
}

std::span<const KeyHelpRow> DesignKeyHelp()
{
    return KeyHelp;
}
