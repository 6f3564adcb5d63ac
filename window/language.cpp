// Switching every caption between Russian and English: the switch walks the
// design table and sets the language in force.

#include <QCoreApplication>
#include <QLibraryInfo>

#include "i18n/captions.h"
#include "storage/ini_profile.h"
#include "window/Unit1.h"
#include "window/design.h"

namespace {

// "True", or a non-zero number, shows an image.
bool ShownByText(const QString& text)
{
    if (text == "True")
        return true;
    const auto number = ParseProfileInteger(text.toStdString());
    return number && *number != 0;
}

}  // namespace

void TForm1::LanguageSwitched(Language language)
{
    ChangeLang(language);
}

void TForm1::ChangeLang(Language language)
{
    // Selected by program: the button's own switch does not run again.
    (language == Language::Russian ? RB_Rus : RB_Eng)->setChecked(true);
    const auto design = WindowDesign();
    for (std::size_t i = 0; i < design.size(); ++i) {
        const QString name = design[i].Name;
        QObject* object = DesignObjects[i];
        // Every class with a text takes the caption in place of its own.
        const auto retext = [&](auto* control) { control->setText(ReadString(language, name, control->text())); };
        switch (CaptionClassOf(design[i].Kind)) {
        case CaptionClass::Button:
            retext(static_cast<QPushButton*>(object));
            break;
        case CaptionClass::MenuItem:
            retext(static_cast<QAction*>(object));
            break;
        case CaptionClass::Label:
            retext(static_cast<QLabel*>(object));
            break;
        case CaptionClass::Edit:
            // What the player is typing stays as typed.
            if (!Session->View().NameEntry)
                retext(static_cast<QLineEdit*>(object));
            break;
        case CaptionClass::Image: {
            // An image the captions do not name keeps its state.
            const QString shown = ReadString(language, name, QString());
            if (!shown.isEmpty())
                static_cast<QWidget*>(object)->setVisible(ShownByText(shown));
            break;
        }
        case CaptionClass::ListView:
            ReadString(language, name, QString());
            break;
        case CaptionClass::Other:
            break;
        }
    }
    FollowLanguageInQtTexts();
}

QString TForm1::ReadString(Language language, const QString& name, const QString& current)
{
    if (name == "LV2") {
        const auto help = KeyHelpTable(language);
        for (int row = 0; row < LV2->topLevelItemCount() && row < int(help.size()); ++row)
            LV2->topLevelItem(row)->setText(1, QString::fromUtf8(help[std::size_t(row)]));
    }
    return QString::fromStdString(TranslatedCaption(language, name.toStdString(), current.toStdString()));
}

void TForm1::FollowLanguageInQtTexts()
{
    const bool russian = !Session->Language().English();
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
