// Switching every caption between Russian and English.

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPushButton>

#include "i18n/captions.h"
#include "storage/ini_profile.h"
#include "window/Unit1.h"

namespace {

// What a component is in the window design; a switch acts by this kind.
enum class DesignKind { Button, Image, MenuItem, Label, Edit, ListView, Other };

// The window's components in design order.
const struct {
    const char* Name;
    DesignKind Kind;
} DesignComponents[] = {
    {"Image5", DesignKind::Image},         {"Image6", DesignKind::Image},
    {"Image4", DesignKind::Image},         {"Image3", DesignKind::Image},
    {"Label6", DesignKind::Label},         {"Label11", DesignKind::Label},
    {"ImageRus", DesignKind::Image},       {"ImageEng", DesignKind::Image},
    {"Label3", DesignKind::Label},         {"Label2", DesignKind::Label},
    {"lbLe", DesignKind::Label},           {"Label1", DesignKind::Label},
    {"lbLi", DesignKind::Label},           {"LBBonus", DesignKind::Label},
    {"LBBonusN", DesignKind::Label},       {"LV2", DesignKind::ListView},
    {"lbS", DesignKind::Label},            {"PB", DesignKind::Other},
    {"Image15", DesignKind::Image},        {"Image14", DesignKind::Image},
    {"Image16", DesignKind::Image},        {"Image17", DesignKind::Image},
    {"Image1", DesignKind::Image},         {"Image2", DesignKind::Image},
    {"Edit1", DesignKind::Edit},           {"Label4", DesignKind::Label},
    {"LV1", DesignKind::ListView},         {"Label8", DesignKind::Label},
    {"Label5", DesignKind::Label},         {"Label7", DesignKind::Label},
    {"PauseBlocked", DesignKind::Other},   {"GBAbout", DesignKind::Other},
    {"Image7", DesignKind::Image},         {"Label9", DesignKind::Label},
    {"Label10", DesignKind::Label},        {"Label12", DesignKind::Label},
    {"LBAbout", DesignKind::Label},        {"GBOptions", DesignKind::Other},
    {"BDefault", DesignKind::Button},      {"Label15", DesignKind::Label},
    {"Image8", DesignKind::Image},         {"Panel1", DesignKind::Other},
    {"Image9", DesignKind::Image},         {"Panel2", DesignKind::Other},
    {"Image10", DesignKind::Image},        {"Panel3", DesignKind::Other},
    {"Image11", DesignKind::Image},        {"Panel4", DesignKind::Other},
    {"Image12", DesignKind::Image},        {"Panel5", DesignKind::Other},
    {"Image13", DesignKind::Image},        {"Panel6", DesignKind::Other},
    {"GBOptions1", DesignKind::Other},     {"ChBox_Anim", DesignKind::Other},
    {"Lb_Anim", DesignKind::Label},        {"ChBox_Sound", DesignKind::Other},
    {"Lb_Sound", DesignKind::Label},       {"ChBox_Sound_ON", DesignKind::Other},
    {"Lb_Sound_ON", DesignKind::Label},    {"ChBox_Rot_Inverse", DesignKind::Other},
    {"Lb_Rot_Inverse", DesignKind::Label}, {"RG_Lang", DesignKind::Other},
    {"RB_Eng", DesignKind::Other},         {"RB_Rus", DesignKind::Other},
    {"BOk", DesignKind::Button},           {"PublishInet", DesignKind::MenuItem},
    {"LookInet", DesignKind::MenuItem},    {"Erase_Results", DesignKind::MenuItem},
    {"Params", DesignKind::MenuItem},      {"About", DesignKind::MenuItem},
    {"MExit", DesignKind::MenuItem},
};

// "True", or a non-zero number, shows an image.
bool ShownByText(const QString& text)
{
    if (text == "True")
        return true;
    const auto number = ParseProfileInteger(text.toStdString());
    return number && *number != 0;
}

}  // namespace

void TForm1::ChangeLang(const QString& language)
{
    for (const auto& component : DesignComponents) {
        const QString name = component.Name;
        QObject* object = findChild<QObject*>(name);
        if (!object)
            continue;
        // Every kind with a text takes the caption in place of its own.
        const auto retext = [&](auto* control) { control->setText(ReadString(language, name, control->text())); };
        switch (component.Kind) {
        case DesignKind::Button:
            retext(static_cast<QPushButton*>(object));
            break;
        case DesignKind::MenuItem:
            retext(static_cast<QAction*>(object));
            break;
        case DesignKind::Label:
            retext(static_cast<QLabel*>(object));
            break;
        case DesignKind::Edit:
            // What the player is typing stays as typed.
            if (!static_cast<QLineEdit*>(object)->isEnabled())
                retext(static_cast<QLineEdit*>(object));
            break;
        case DesignKind::Image: {
            auto* image = static_cast<QWidget*>(object);
            image->setVisible(ShownByText(ReadString(language, name, image->isHidden() ? "0" : "-1")));
            break;
        }
        case DesignKind::ListView:
            ReadString(language, name, QString());
            break;
        case DesignKind::Other:
            break;
        }
    }
    FollowLanguageInQtTexts();
}

void TForm1::FollowLanguageInQtTexts()
{
    const bool russian = ImageEng->isHidden();
    if (russian == QtRussianInstalled)
        return;
    if (!QtRussian) {
        QtRussian = std::make_unique<QTranslator>();
        // Without the translations (qt6-translations-l10n) the buttons stay English.
        (void)QtRussian->load("qtbase_ru", QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    }
    if (russian && !QtRussian->isEmpty())
        QtRussianInstalled = QCoreApplication::installTranslator(QtRussian.get());
    else if (!russian)
        QtRussianInstalled = !QCoreApplication::removeTranslator(QtRussian.get());
}

QString TForm1::ReadString(const QString& language, const QString& name, const QString& current)
{
    const auto chosen = LanguageOfKey(language.toStdString());
    if (!chosen)
        return current;
    // Selected by program: the button's own switch does not run again.
    (*chosen == Language::Russian ? RB_Rus : RB_Eng)->setChecked(true);
    if (name == "LV2") {
        const auto help = KeyHelpTable(*chosen);
        for (int row = 0; row < LV2->topLevelItemCount() && row < int(help.size()); ++row)
            LV2->topLevelItem(row)->setText(1, QString::fromUtf8(help[std::size_t(row)]));
    }
    return QString::fromStdString(TranslatedCaption(*chosen, name.toStdString(), current.toStdString()));
}

void TForm1::Label11Click()
{
    ChangeLang(Label11->text());
}

void TForm1::RB_EngClick()
{
    ChangeLang("ENGLISH");
}

void TForm1::RB_RusClick()
{
    ChangeLang("RUSSIAN");
}
