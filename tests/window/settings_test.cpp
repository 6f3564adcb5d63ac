#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTimer>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "form_fixture.h"
#include "i18n/captions.h"
#include "storage/options_file.h"

namespace {

// Each test runs in a fresh current folder (see main.cpp).
const std::filesystem::path OptionsPath = "vantorix2.ini";

void WriteOptionsText(const std::string& text)
{
    std::ofstream(OptionsPath, std::ios::binary) << text;
}

std::string OptionsText()
{
    std::ifstream in(OptionsPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Makes the form the active window, as a click on it would.
void Activate(QWidget& form)
{
    form.show();
    form.window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.window()));
}

// Another program's window takes the focus.
struct OtherWindow : QWidget {
    void TakeFocus()
    {
        show();
        activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(this));
    }
};

// The caption or visibility a switch sets on a named component.
QString Shown(TForm1& form, const char* name)
{
    QObject* object = form.findChild<QObject*>(name);
    if (auto* action = qobject_cast<QAction*>(object))
        return action->text();
    if (auto* edit = qobject_cast<QLineEdit*>(object))
        return edit->text();
    if (auto* button = qobject_cast<QPushButton*>(object))
        return button->text();
    if (QString(name).startsWith("Image"))
        return static_cast<QWidget*>(object)->isHidden() ? "False" : "True";
    return static_cast<QLabel*>(object)->text();
}

// Everything a switch writes, in one text.
QString Captions(TForm1& form)
{
    QString all;
    for (const CaptionPair& pair : CaptionTable(Language::English))
        all += Shown(form, pair.Component) + "|";
    for (int row = 0; row < form.LV2->topLevelItemCount(); ++row)
        all += form.LV2->topLevelItem(row)->text(1) + "|";
    return all + (form.RB_Eng->isChecked() ? "eng" : "") + (form.RB_Rus->isChecked() ? "rus" : "");
}

}  // namespace

TEST(Options, AFirstRunWritesTheBuiltInStateAndEndsInEnglish)
{
    ProbeForm form;
    IniProfile expected;
    WriteOptions(expected, GameOptions{});
    EXPECT_EQ(OptionsText(), expected.Text());
    Activate(form);
    EXPECT_EQ(form.Label1->text(), "SCORE");
    EXPECT_FALSE(form.ImageEng->isHidden());
}

// Before any activation (a window that never had the focus) every caption
// and the key help are of the one language the options file ends in.
TEST(Languages, TheFirstFrameShowsTheOptionsLanguage)
{
    const struct {
        const char* options;   // nullptr: no file
        Language shown;
    } cases[] = {
        {nullptr, Language::English},
        {"[Options]\nEnglish=0\nRussian=1\n", Language::Russian},
        {"[Options]\nEnglish=0\nRussian=0\n", Language::English},
        {"[Options]\nEnglish=1\nRussian=1\n", Language::Russian},
        {"[Options]\nMode=1\n", Language::English},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options ? c.options : "no file");
        std::filesystem::remove(OptionsPath);
        if (c.options)
            std::ofstream(OptionsPath) << c.options;
        ProbeForm form;
        for (const CaptionPair& pair : CaptionTable(c.shown))
            EXPECT_EQ(Shown(form, pair.Component), QString::fromUtf8(pair.Caption)) << pair.Component;
        EXPECT_EQ(form.LV2->topLevelItem(0)->text(1), QString::fromUtf8(KeyHelpTable(c.shown)[0]));
        EXPECT_EQ(form.RB_Eng->isChecked(), c.shown == Language::English);
    }
}

TEST(Options, TheSettingsSurviveARestartButTheRotation)
{
    {
        ProbeForm form;
        form.KeyPressDown('3');
        form.SelectColor = [](WinColour) { return WinColour(0x123456); };
        form.ColorClick(2);
        form.ChBox_Anim->setChecked(false);
        form.Lb_Sound_ONClick();
        form.ChBox_Rot_Inverse->setChecked(true);
        form.RB_RusClick();
        form.close();
    }
    ProbeForm form;
    EXPECT_EQ(form.State().ColourMode, 3);
    EXPECT_EQ(form.ColourPanels[2]->palette().color(QPalette::Window), QColor(0x56, 0x34, 0x12));
    EXPECT_FALSE(form.ChBox_Anim->isChecked());
    EXPECT_FALSE(form.ChBox_Sound_ON->isChecked());
    EXPECT_FALSE(form.Game->SoundOn) << "the sound switch's handler ran";
    EXPECT_TRUE(form.ChBox_Sound->isChecked());
    EXPECT_FALSE(form.ChBox_Rot_Inverse->isChecked()) << "not kept";
    EXPECT_TRUE(form.RB_Rus->isChecked());
    EXPECT_EQ(form.Label1->text(), "СЧЕТ");
}

TEST(Options, TheFileIsReadAsTheProfileFunctionsRead)
{
    const struct {
        const char* name;
        const char* ini;
        int mode;
        WinColour colour3;
        bool animate;
        const char* score;   // the score heading tells the language; English
                             // is the radio button's built-in choice
    } cases[] = {
        {"mode 258 is 2", "[color]\nMODE=258\n", 2, 0x00FFFF, true, "SCORE"},
        {"colour in hexadecimal", "[Color]\nColor3 = 0x0000FF\n", 2, 0x0000FF, true, "SCORE"},
        {"yes keeps the state", "[Options]\nAnimate Bonus=yes\n", 2, 0x00FFFF, true, "SCORE"},
        {"zero unticks", "[Options]\nAnimate Bonus=0\n", 2, 0x00FFFF, false, "SCORE"},
        {"Russian", "[Options]\nEnglish=0\nRussian=1\n", 2, 0x00FFFF, true, "СЧЕТ"},
        {"both: Russian wins", "[Options]\nEnglish=1\nRussian=1\n", 2, 0x00FFFF, true, "СЧЕТ"},
        {"neither: the button's English", "[Options]\nEnglish=0\nRussian=0\n", 2, 0x00FFFF, true, "SCORE"},
        {"not INI at all", "\x89PNG garbage\n", 2, 0x00FFFF, true, "SCORE"},
    };
    for (const auto& c : cases) {
        WriteOptionsText(c.ini);
        ProbeForm form;
        EXPECT_EQ(form.State().ColourMode, c.mode) << c.name;
        EXPECT_EQ(form.ColourPanels[2]->palette().color(QPalette::Window), ToQColor(c.colour3)) << c.name;
        EXPECT_EQ(form.ChBox_Anim->isChecked(), c.animate) << c.name;
        EXPECT_EQ(form.Label1->text(), QString::fromUtf8(c.score)) << c.name;
    }
}

TEST(Options, ColoursKeepAllTheirBitsFromReadingToWriting)
{
    WriteOptionsText("[Color]\nColor1=-3\nColor2=-1\nColor3=0x80000005\nColor4=16777216\n");
    ProbeForm form;
    form.close();   // writes the options
    const std::string written = OptionsText();
    const struct {
        int panel;
        WinColour value;
        const char* line;
        QColor shown;   // the low 24 bits
    } cases[] = {
        {0, 0xFFFFFFFD, "\nColor1=-3\n", QColor(0xFD, 0xFF, 0xFF)},
        {1, 0xFFFFFFFF, "\nColor2=-1\n", QColor(0xFF, 0xFF, 0xFF)},
        {2, 0x80000005, "\nColor3=-2147483643\n", QColor(0x05, 0, 0)},
        {3, 0x01000000, "\nColor4=16777216\n", QColor(0, 0, 0)},
        {4, 0x0000FF00, "\nColor5=65280\n", QColor(0, 0xFF, 0)},
    };
    for (const auto& c : cases) {
        EXPECT_NE(written.find(c.line), std::string::npos) << c.line << " in\n" << written;
        EXPECT_EQ(form.ColourPanels[std::size_t(c.panel)]->palette().color(QPalette::Window), c.shown) << c.line;
    }
    // A cancelled colour dialog keeps the value whole.
    WinColour preset = 0;
    form.SelectColor = [&](WinColour given) { return preset = given; };
    form.ColorClick(2);
    EXPECT_EQ(preset, 0x80000005u);
    EXPECT_NE(OptionsText().find("\nColor3=-2147483643\n"), std::string::npos);
}

TEST(Options, AChosenColourOutlivesTheActivationThatFollowsItsDialog)
{
    ProbeForm form;
    Activate(form);
    // The dialog takes the focus: the window writes its options then. Its
    // return reads them again, and under X11 that may come late.
    form.SelectColor = [&](WinColour) {
        QEvent away(QEvent::WindowDeactivate);
        QCoreApplication::sendEvent(&form, &away);
        return WinColour(0x0080FF);
    };
    form.ColorClick(0);
    QEvent back(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&form, &back);
    EXPECT_EQ(form.ColourPanels[0]->palette().color(QPalette::Window), QColor(0xFF, 0x80, 0x00));
    EXPECT_NE(OptionsText().find("\nColor1=33023\n"), std::string::npos);
}

TEST(Options, AWriteThatFailsIsReportedOnceAndTheSettingsStay)
{
    std::vector<QString> errors;
    VantorixApplication::ShowError = [&](const QString& text) { errors.push_back(text); };
    // A folder where the file should be: no write can replace it.
    std::filesystem::create_directory(OptionsPath);
    ProbeForm form;
    form.KeyPressDown('1');
    for (int i = 0; i < 3; ++i)
        form.close();
    VantorixApplication::ShowError = nullptr;
    const QString path = QString::fromStdString(std::filesystem::absolute(OptionsPath).string());
    EXPECT_EQ(errors, std::vector<QString>{"Unable to write to " + path});
    EXPECT_TRUE(std::filesystem::is_directory(OptionsPath));
    EXPECT_EQ(form.State().ColourMode, 1);
}

TEST(Languages, EachSwitchShowsItsTableAndIsIdempotent)
{
    ProbeForm form;
    for (Language language : {Language::Russian, Language::English, Language::Russian}) {
        const bool english = language == Language::English;
        if (english)
            form.Label11Click();   // the link names the other language
        else
            form.RB_RusClick();
        for (const CaptionPair& pair : CaptionTable(language))
            EXPECT_EQ(Shown(form, pair.Component), QString::fromUtf8(pair.Caption)) << pair.Component;
        const auto help = KeyHelpTable(language);
        for (int row = 0; row < 17; ++row)
            EXPECT_EQ(form.LV2->topLevelItem(row)->text(1), QString::fromUtf8(help[std::size_t(row)])) << row;
        EXPECT_EQ(form.RB_Eng->isChecked(), english);
        EXPECT_EQ(form.Label3->text(), "GAME OVER") << "never switched";
        EXPECT_EQ(form.RB_Rus->text(), "Русский") << "never switched";
        const QString once = Captions(form);
        if (english)
            form.RB_EngClick();
        else
            form.RB_RusClick();
        EXPECT_EQ(Captions(form), once);
    }
    form.KeyPressDown('L');
    form.Edit1->setText("Ann");
    form.KeyPressDown('L');
    EXPECT_EQ(form.Edit1->text(), "Кое-кто") << "the L key switches too, and resets the name entry";
}

// Reads the buttons of the dialog that comes up, then cancels it.
struct DialogReader {
    DialogReader()
    {
        QTimer::singleShot(0, [this] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog)
                return;
            Title = dialog->windowTitle();
            for (const QAbstractButton* button : dialog->findChildren<QAbstractButton*>())
                if (!button->text().isEmpty())
                    Buttons << button->text();
            static_cast<QDialog*>(dialog)->reject();
        });
    }
    QString Title;
    QStringList Buttons;
};

TEST(Languages, QtsOwnDialogTextsFollowTheLanguage)
{
    ProbeForm form;
    Activate(form);
    for (const char* language : {"RUSSIAN", "ENGLISH", "RUSSIAN"}) {
        const bool russian = QString(language) == "RUSSIAN";
        if (russian)
            form.RB_RusClick();
        else
            form.RB_EngClick();
        DialogReader question;
        form.Erase_Results->trigger();
        EXPECT_TRUE(question.Buttons.contains(russian ? "&Да" : "&Yes")) << language << question.Buttons.join(",").toStdString();
        EXPECT_TRUE(question.Buttons.contains(russian ? "&Нет" : "&No")) << language;
        DialogReader colours;
        form.ColorClick(0);
        EXPECT_EQ(colours.Title, russian ? "Выбор цвета" : "Select Color") << language;
        EXPECT_TRUE(colours.Buttons.contains(russian ? "Отмена" : "Cancel")) << language;
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form)) << language << ": the game has the keys again";
        EXPECT_EQ(form.focusWidget(), &form) << language;
    }
}

TEST(Languages, EveryCaptionFitsItsControl)
{
    ProbeForm form;
    for (Language language : {Language::Russian, Language::English}) {
        if (language == Language::English)
            form.RB_EngClick();
        else
            form.RB_RusClick();
        for (const CaptionPair& pair : CaptionTable(language)) {
            auto* widget = form.findChild<QWidget*>(pair.Component);
            if (!widget || QString(pair.Component).startsWith("Image"))
                continue;   // menu items size themselves
            const QFontMetrics metrics(widget->font());
            const QStringList lines = Shown(form, pair.Component).split('\n');
            int widest = 0;
            for (const QString& line : lines)
                widest = std::max(widest, metrics.horizontalAdvance(line));
            const int room = qobject_cast<QPushButton*>(widget) ? widget->width() - 8 : widget->width();
            EXPECT_LE(widest, room) << pair.Component << ": " << pair.Caption;
            EXPECT_LE(metrics.height() * lines.size(), widget->height() + 2) << pair.Component;
        }
        const QFontMetrics help(form.LV2->font());
        for (const char* text : KeyHelpTable(language))
            EXPECT_LE(help.horizontalAdvance(QString::fromUtf8(text)), form.LV2->columnWidth(1)) << text;
    }
}

TEST(Focus, LosingItPausesUnlessTheAutopilotPlaysAndItsReturnResumes)
{
    const struct {
        const char* name;
        bool autopilot;
        bool pausedByP;
        bool pausedWhileAway;
        bool pausedAfter;
    } cases[] = {
        {"playing", false, false, true, false},
        {"paused with P", false, true, true, true},
        {"autopilot", true, false, false, false},
    };
    for (const auto& c : cases) {
        ProbeForm form;
        Activate(form);
        if (c.autopilot)
            form.KeyPressDown('A');
        else
            form.Game->StartGame();
        DeliverNotifications();
        if (c.pausedByP)
            form.KeyPressDown('P');
        std::filesystem::remove(OptionsPath);
        OtherWindow other;
        other.TakeFocus();
        EXPECT_EQ(form.Game->Paused, c.pausedWhileAway) << c.name;
        EXPECT_EQ(form.windowTitle(), "Reports") << c.name;
        EXPECT_TRUE(std::filesystem::exists(OptionsPath)) << c.name << ": written on losing the focus";
        WriteOptionsText("[Color]\nMode=1\n");
        Activate(form);
        EXPECT_EQ(form.Game->Paused, c.pausedAfter) << c.name;
        EXPECT_EQ(form.PauseBlocked->isHidden(), !c.pausedAfter) << c.name;
        EXPECT_EQ(form.windowTitle(), "Vantorix II") << c.name;
        EXPECT_EQ(form.State().ColourMode, 1) << c.name << ": read on gaining it";
    }
}

TEST(Focus, AnActivationThatChangesNothingDoesNothing)
{
    ProbeForm form;
    Activate(form);
    WriteOptionsText("[Color]\nMode=1\n");
    QEvent again(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&form, &again);
    EXPECT_EQ(form.State().ColourMode, 2) << "the window was active already: nothing is read";
    OtherWindow other;
    other.TakeFocus();
    QEvent away(QEvent::WindowDeactivate);
    std::filesystem::remove(OptionsPath);
    QCoreApplication::sendEvent(&form, &away);
    EXPECT_FALSE(std::filesystem::exists(OptionsPath)) << "inactive already: nothing is written";
}

TEST(FullScreen, FTwiceComesBackWhereItWas)
{
    ProbeForm form;
    Activate(form);
    form.move(37, 21);
    const int windowsBefore = int(QApplication::topLevelWidgets().size());
    form.KeyPressDown('F');
    EXPECT_TRUE(form.State().FullScreen);
    ASSERT_TRUE(form.isFullScreen());
    const QRect screen = form.screen()->geometry();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.geometry() == screen; })) << "the window itself covers the screen";
    EXPECT_EQ(int(QApplication::topLevelWidgets().size()), windowsBefore) << "no second window";
    const QPoint designAt((screen.width() - 800) / 2, (screen.height() - 600) / 2);
    EXPECT_EQ(form.ClientArea->geometry(), QRect(designAt, QSize(800, 600))) << "the design at its own size";
    EXPECT_EQ(QCursor::pos(), screen.topLeft() + designAt + QPoint(700, 300));
    const QImage picture = form.grab().toImage();
    EXPECT_EQ(picture.pixelColor(2, 2), QColor(Qt::black)) << "black around the design";
    EXPECT_EQ(picture.pixelColor(designAt + QPoint(270, 300)), QColor(0x6A, 0x6A, 0x6A));

    // Another program takes the focus: the desktop comes back, then full
    // screen again when the game returns.
    OtherWindow other;
    other.TakeFocus();
    EXPECT_FALSE(form.isFullScreen());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.geometry() == QRect(37, 21, 800, 600); }));
    EXPECT_TRUE(form.State().FullScreen);
    Activate(form);
    EXPECT_TRUE(form.isFullScreen());

    form.KeyPressDown('F');
    EXPECT_FALSE(form.State().FullScreen);
    EXPECT_FALSE(form.isFullScreen());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.geometry() == QRect(37, 21, 800, 600); }));
    EXPECT_EQ(form.ClientArea->pos(), QPoint(0, 0));
    EXPECT_EQ(QCursor::pos(), QPoint(screen.width(), screen.height()));

    // Not while the erase questions are up.
    TForm1::AnswerDialog = [&](QMessageBox::Icon, const QString&, const QString&, QMessageBox::StandardButtons) {
        form.KeyPressDown('F');
        return QMessageBox::No;
    };
    form.Erase_Results->trigger();
    TForm1::AnswerDialog = nullptr;
    EXPECT_TRUE(form.State().FullScreen);
    EXPECT_FALSE(form.isFullScreen());
}
