#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QTest>
#include <filesystem>
#include <functional>
#include <fstream>

#include "form_fixture.h"
#include "storage/records_book.h"
#include "storage/zlib_stream.h"

namespace {

// Each test runs in a fresh current folder (see main.cpp).
const std::filesystem::path RecordsFile = "vantorix2.rez";

std::vector<RecordEntry> Table(const std::vector<std::string>& scores)
{
    std::vector<RecordEntry> entries;
    for (std::size_t k = 0; k < scores.size(); ++k)
        entries.push_back({std::to_string(k + 1), "Игрок " + std::to_string(k + 1), scores[k]});
    return entries;
}

void Store(const std::vector<RecordEntry>& entries)
{
    std::ofstream(RecordsFile, std::ios::binary) << CompressStream(WriteRecordsSnapshot(entries, ColumnWidthsFor(201)));
}

void StoreBytes(const std::string& bytes)
{
    std::ofstream(RecordsFile, std::ios::binary) << bytes;
}

std::vector<RecordEntry> OnDisk()
{
    std::ifstream in(RecordsFile, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return ReadRecordsSnapshot(DecompressStream(bytes));
}

std::vector<std::string> Shown(const TForm1& form)
{
    std::vector<std::string> rows;
    for (int k = 0; k < form.LV1->topLevelItemCount(); ++k) {
        const QTreeWidgetItem* row = form.LV1->topLevelItem(k);
        rows.push_back((row->text(0) + "|" + row->text(1) + "|" + row->text(2)).toStdString());
    }
    return rows;
}

int SelectedRow(const TForm1& form)
{
    const auto selected = form.LV1->selectedItems();
    return selected.size() == 1 ? form.LV1->indexOfTopLevelItem(selected[0]) + 1 : 0;
}

// Types into the control that has the focus; letters outside ASCII come
// as key events that carry only their text, as from a keyboard layout.
void Type(TForm1& form, const QString& text)
{
    for (const QChar c : text) {
        QWidget* target = form.focusWidget() ? form.focusWidget() : &form;
        if (c.unicode() < 0x80) {
            QTest::keyClick(target, c.toLatin1());
        } else {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(target, &press);
        }
    }
}

void PressEnter(TForm1& form)
{
    QTest::keyClick(form.focusWidget() ? form.focusWidget() : &form, Qt::Key_Return);
}

void SetScore(TForm1& form, std::int32_t score)
{
    form.Game->SetScore(score);
    DeliverNotifications();
}

int RecordFanfares(const ProbeForm& form)
{
    // The rising sweep of the record sound ends at 3900 Hz.
    return int(std::count(form.SoundLog.begin(), form.SoundLog.end(), "beep 3900 2"));
}

// Records what the window shows in its message boxes and answers them.
struct Dialogs {
    explicit Dialogs(std::vector<QMessageBox::StandardButton> answers = {}) : Answers(std::move(answers))
    {
        TForm1::AnswerDialog = [this](QMessageBox::Icon icon, const QString& caption, const QString& text,
                                      QMessageBox::StandardButtons buttons) {
            Shown.push_back({icon, caption, text, buttons, OnShow ? OnShow() : false});
            if (Shown.size() <= Answers.size())
                return Answers[Shown.size() - 1];
            return QMessageBox::Ok;
        };
    }
    ~Dialogs() { TForm1::AnswerDialog = nullptr; }
    struct Box {
        QMessageBox::Icon icon;
        QString caption, text;
        QMessageBox::StandardButtons buttons;
        bool flag;   // what OnShow said while the box was up
    };
    std::vector<QMessageBox::StandardButton> Answers;
    std::vector<Box> Shown;
    std::function<bool()> OnShow;
};

struct ErrorLog {
    ErrorLog()
    {
        VantorixApplication::ShowError = [this](const QString& text) { Messages.push_back(text.toStdString()); };
    }
    ~ErrorLog() { VantorixApplication::ShowError = nullptr; }
    std::vector<std::string> Messages;
};

}  // namespace

TEST(Records, TheListShowsTheStoredTableWithTheLoadedWidths)
{
    Store(Table({"1.200", "870"}));
    ProbeForm form;
    EXPECT_EQ(Shown(form), (std::vector<std::string>{"1|Игрок 1|1.200", "2|Игрок 2|870"}));
    EXPECT_EQ(form.Game->RecordPlace, 3);
    const int widths[] = {form.LV1->columnWidth(0), form.LV1->columnWidth(1), form.LV1->columnWidth(2)};
    EXPECT_EQ(std::vector<int>(widths, widths + 3), (std::vector<int>{20, 111, 70}));
    EXPECT_TRUE(form.LV1->topLevelItem(0)->textAlignment(2) & Qt::AlignRight);
}

TEST(Records, AFirstStartMakesAnEmptyRecordsFile)
{
    ProbeForm form;
    EXPECT_EQ(form.LV1->topLevelItemCount(), 0);
    EXPECT_TRUE(std::filesystem::exists(RecordsFile));
    EXPECT_TRUE(OnDisk().empty());
}

TEST(Records, TheLiveRowClimbsAndTheRecordSoundsOnce)
{
    Store(Table({"900", "500", "100"}));
    ProbeForm form;
    form.show();
    form.Game->StartGame();
    DeliverNotifications();
    EXPECT_EQ(form.Game->RecordPlace, 4);
    EXPECT_EQ(SelectedRow(form), 4);

    const struct {
        std::int32_t score;
        int place;
        int fanfares;
    } steps[] = {{100, 4, 0}, {101, 3, 0}, {500, 3, 0}, {501, 2, 0}, {901, 1, 1}, {5000, 1, 1}};
    for (const auto& step : steps) {
        SetScore(form, step.score);
        EXPECT_EQ(form.Game->RecordPlace, step.place) << step.score;
        EXPECT_EQ(SelectedRow(form), step.place) << step.score;
        EXPECT_EQ(form.LV1->topLevelItemCount(), 4) << step.score;
        EXPECT_EQ(RecordFanfares(form), step.fanfares) << step.score;
    }
    EXPECT_EQ(Shown(form)[0], "1|" + form.State().PlayerName.toStdString() + "|5.000");
    EXPECT_EQ(OnDisk().size(), 3u) << "the live row stays out of the file";
}

TEST(Records, AScoreOutsideAFullTableOpensNoNameEntry)
{
    std::vector<std::string> scores;
    for (int k = 0; k < 30; ++k)
        scores.push_back(std::to_string(1000 - 10 * k));   // the 30th is 710
    Store(Table(scores));
    ProbeForm form;
    form.show();
    form.Game->StartGame();
    DeliverNotifications();
    SetScore(form, 710);
    EXPECT_EQ(form.Game->RecordPlace, 31);
    EXPECT_EQ(SelectedRow(form), 0);
    form.Game->GameOver();
    DeliverNotifications();
    EXPECT_FALSE(form.Edit1->isEnabled());
    EXPECT_EQ(OnDisk().size(), 30u);
}

TEST(Records, ANameTypedAtGameOverIsKeptAcrossRuns)
{
    Store(Table({"900"}));
    {
        ProbeForm form;
        form.show();
        form.Game->StartGame();
        DeliverNotifications();
        SetScore(form, 1500);
        form.Game->GameOver();
        DeliverNotifications();
        ASSERT_TRUE(form.Edit1->isEnabled());
        EXPECT_EQ(form.focusWidget(), form.Edit1);
        EXPECT_EQ(form.Edit1->text(), form.State().PlayerName.left(14));
        Type(form, "Наташа из Твери и Москвы");   // 24 characters
        PressEnter(form);
        EXPECT_FALSE(form.Edit1->isEnabled());
        EXPECT_TRUE(form.Edit1->isHidden());
        EXPECT_TRUE(form.Label8->isEnabled());
    }
    EXPECT_EQ(OnDisk(), (std::vector<RecordEntry>{{"1", "Наташа из Твер", "1.500"}, {"2", "Игрок 1", "900"}}));
    ProbeForm again;
    EXPECT_EQ(Shown(again)[0], "1|Наташа из Твер|1.500");
}

TEST(Records, ASaveThatFailsIsReportedAndTheOldFileStays)
{
    Store(Table({"900"}));
    ErrorLog errors;
    ProbeForm form;
    form.show();
    form.Game->StartGame();
    DeliverNotifications();
    SetScore(form, 1000);
    form.Game->GameOver();
    DeliverNotifications();
    // The file is taken away and a folder stands in its place: no save
    // can replace that.
    std::filesystem::rename(RecordsFile, "kept.rez");
    std::filesystem::create_directories(RecordsFile / "inside");
    form.Edit1->setText("Ann");
    PressEnter(form);
    ASSERT_EQ(errors.Messages.size(), 1u);
    EXPECT_NE(errors.Messages[0].find("vantorix2.rez"), std::string::npos) << errors.Messages[0];
    EXPECT_FALSE(form.Edit1->isEnabled());
    EXPECT_EQ(Shown(form)[0], "1|Ann|1.000") << "the table in memory keeps the name";
    EXPECT_TRUE(std::filesystem::is_directory(RecordsFile / "inside"));
}

TEST(Records, TheNameEntryWantsALetterFirstAndCodePage1251)
{
    ProbeForm form;
    form.show();
    const QString player = form.State().PlayerName;
    form.Game->StartGame();
    DeliverNotifications();
    form.Game->GameOver();
    DeliverNotifications();
    ASSERT_TRUE(form.Edit1->isEnabled());
    form.Edit1->clear();
    Type(form, "7");
    EXPECT_EQ(form.Edit1->text(), player) << "a digit first gives the player's name";
    EXPECT_EQ(form.Edit1->selectedText(), player) << "all selected, so typing replaces it";
    Type(form, "Zoë 日本 Ёж");
    EXPECT_EQ(form.Edit1->text(), "Zo  Ёж") << "characters without a code page 1251 byte are ignored";
}

// A letter key as a Russian keyboard layout sends it: its Cyrillic letter,
// and the place of the key (the L key gives "л").
void PressOnRussianLayout(TForm1& form, QChar letter, quint32 scanCode)
{
    QKeyEvent press(QEvent::KeyPress, letter.toUpper().unicode(), Qt::NoModifier, scanCode, 0, 0, QString(letter));
    QCoreApplication::sendEvent(form.focusWidget(), &press);
}

TEST(Records, TheNameEntryProposesASelectedNameAndTakesEveryLetter)
{
    const struct {
        const char* name;
        std::function<void(ProbeForm&)> play;
        QString stored;   // empty: the proposed name
        bool switched;    // the interface changed its language meanwhile
    } cases[] = {
        {"typing replaces the proposal", [](ProbeForm& f) { Type(f, "Ann"); }, "Ann", false},
        {"Enter alone keeps it", [](ProbeForm&) {}, "", false},
        {"L is a letter", [](ProbeForm& f) { Type(f, "Lola"); }, "Lola", false},
        {"so is the L key on a Russian layout",
         [](ProbeForm& f) {
             Type(f, "О");
             PressOnRussianLayout(f, QChar(0x43B), 46);   // л
             Type(f, "ьга");
         },
         "Ольга", false},
        {"the language link switches, the text stays",
         [](ProbeForm& f) {
             Type(f, "Bo");
             f.Label11Click();
             Type(f, "b");
         },
         "Bob", true},
        {"so does the options panel's button",
         [](ProbeForm& f) {
             Type(f, "Eve");
             f.RB_Rus->click();
         },
         "Eve", true},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(RecordsFile);
        ProbeForm form;
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        const bool englishBefore = !form.ImageEng->isHidden();
        form.Game->StartGame();
        DeliverNotifications();
        form.Game->GameOver();
        DeliverNotifications();
        ASSERT_EQ(form.focusWidget(), form.Edit1) << c.name;
        EXPECT_EQ(form.Edit1->selectedText(), form.State().PlayerName) << c.name << ": the proposal is selected";
        c.play(form);
        EXPECT_EQ(!form.ImageEng->isHidden(), englishBefore != c.switched) << c.name;
        PressEnter(form);
        ASSERT_FALSE(form.Edit1->isEnabled()) << c.name;
        EXPECT_EQ(OnDisk().at(0).Name, (c.stored.isEmpty() ? form.State().PlayerName : c.stored).toStdString()) << c.name;
    }
    // Closed, the entry takes its caption again.
    ProbeForm form;
    form.RB_RusClick();
    EXPECT_EQ(form.Edit1->text(), "Кое-кто");
}

TEST(Records, AClickOnTheWindowDoesNotTakeTheKeysFromTheNameEntry)
{
    ProbeForm form;
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.Game->StartGame();
    DeliverNotifications();
    form.Game->GameOver();
    DeliverNotifications();
    ASSERT_EQ(form.focusWidget(), form.Edit1);
    form.Edit1->clear();
    QTest::mouseClick(&form, Qt::LeftButton, {}, QPoint(400, 590));
    EXPECT_EQ(form.focusWidget(), form.Edit1);
    // Even with the focus taken by force, the next key goes to the entry.
    form.setFocus();
    QTest::keyClicks(&form, "Bo");
    EXPECT_EQ(form.Edit1->text(), "Bo");
    QTest::keyClick(&form, Qt::Key_Return);
    EXPECT_FALSE(form.Edit1->isEnabled());
    EXPECT_FALSE(form.Game->Running) << "the Enter that closes the entry starts no game";
    EXPECT_EQ(OnDisk().at(0).Name, "Bo");
}

TEST(Records, TheAutopilotEntersItsGamesAtOnce)
{
    Store(Table({"900"}));
    ProbeForm form;
    form.show();
    form.KeyPressDown('A');   // starts a game of its own
    DeliverNotifications();
    ASSERT_TRUE(form.Game->Running);
    SetScore(form, 1000);
    form.Game->GameOver();
    DeliverNotifications();
    EXPECT_FALSE(form.Edit1->isEnabled());
    EXPECT_EQ(OnDisk(), (std::vector<RecordEntry>{{"1", "AUTOPILOT", "1.000"}, {"2", "Игрок 1", "900"}}));
    EXPECT_TRUE(form.Game->Running) << "the next game has started";
    EXPECT_EQ(Shown(form).size(), 3u) << "with its own live row";
}

TEST(Records, ErasingAsksFiveTimesInTheWindowsLanguage)
{
    using B = QMessageBox::StandardButton;
    const struct {
        const char* name;
        bool english;
        std::vector<B> answers;
        std::size_t boxes;
        bool erased;
    } cases[] = {
        {"No at once", false, {B::No}, 1, false},
        {"No at the third", false, {B::Yes, B::Yes, B::No}, 3, false},
        {"five Yes", false, {B::Yes, B::Yes, B::Yes, B::Yes, B::Yes}, 6, true},
        {"five Yes in English", true, {B::Yes, B::Yes, B::Yes, B::Yes, B::Yes}, 6, true},
    };
    for (const auto& c : cases) {
        Store(Table({"900", "500"}));
        ProbeForm form;
        if (c.english)
            form.RB_EngClick();
        else
            form.RB_RusClick();
        Dialogs dialogs(c.answers);
        dialogs.OnShow = [&] { return form.State().EraseDialogOpen; };
        form.Erase_Results->trigger();
        ASSERT_EQ(dialogs.Shown.size(), c.boxes) << c.name;
        EXPECT_TRUE(dialogs.Shown.back().flag) << c.name << ": full screen is held off meanwhile";
        EXPECT_FALSE(form.State().EraseDialogOpen) << c.name;
        EXPECT_TRUE(form.State().MenuToggle) << c.name;
        EXPECT_EQ(dialogs.Shown[0].caption, c.english ? "Answer fast!!!" : "Отвечать быстро!!!") << c.name;
        EXPECT_EQ(dialogs.Shown[0].buttons, QMessageBox::Yes | QMessageBox::No) << c.name;
        EXPECT_EQ(dialogs.Shown[0].icon, QMessageBox::NoIcon) << c.name;
        if (c.erased) {
            EXPECT_EQ(dialogs.Shown[4].text, c.english ? "Are You Crazy?" : "Вы сумасшедший?") << c.name;
            EXPECT_EQ(dialogs.Shown[5].buttons, QMessageBox::Ok) << c.name;
            EXPECT_TRUE(dialogs.Shown[5].text.contains("\r\n")) << c.name;
        }
        EXPECT_EQ(form.LV1->topLevelItemCount(), c.erased ? 0 : 2) << c.name;
        EXPECT_EQ(OnDisk().size(), c.erased ? 0u : 2u) << c.name;
        if (c.erased) {
            EXPECT_EQ(form.Game->RecordPlace, 1) << c.name;
        }
    }
}

TEST(Records, TheMenuOffersPublishingAndErasingOnlyWithRecords)
{
    for (bool records : {false, true}) {
        if (records)
            Store(Table({"900"}));
        ProbeForm form;
        form.show();
        form.GB5MouseUp();
        EXPECT_EQ(form.PublishInet->isEnabled(), records);
        EXPECT_EQ(form.Erase_Results->isEnabled(), records);
        form.PopupMenu1->hide();
    }
}

TEST(Records, ADamagedFileIsSetAsideAndTheProgramEnds)
{
    const std::string good = CompressStream(WriteRecordsSnapshot(Table({"900"}), DesignColumnWidths));
    const std::string damaged = good.substr(0, good.size() / 2);
    StoreBytes(damaged);
    Dialogs dialogs;
    ProbeForm form;
    ASSERT_EQ(dialogs.Shown.size(), 1u);
    EXPECT_EQ(dialogs.Shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(dialogs.Shown[0].caption, "Error");
    EXPECT_EQ(dialogs.Shown[0].buttons, QMessageBox::Ok);
    const QString kept = QString::fromStdString(FullPath("vantorix2.rez.damaged"));
    EXPECT_EQ(dialogs.Shown[0].text, "Not good or old version of vantorix2.rez!!!\r\n\r\nRestart Game!\r\n\r\n"
                                     "The damaged file was kept as " + kept + ".");
    EXPECT_EQ(form.LV1->topLevelItemCount(), 0);
    EXPECT_FALSE(std::filesystem::exists(RecordsFile));
    std::ifstream in("vantorix2.rez.damaged", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), damaged);
    form.show();
    DeliverNotifications();
    EXPECT_FALSE(form.isVisible()) << "the window closes once control is back in the event loop";
}

TEST(Records, ASnapshotErrorIsShownOnceAndThePlayGoesOn)
{
    StoreBytes("");
    ErrorLog errors;
    ProbeForm form;
    form.show();
    EXPECT_EQ(errors.Messages, std::vector<std::string>{"Stream read error"});
    form.Game->StartGame();
    DeliverNotifications();
    SetScore(form, 300);
    EXPECT_EQ(errors.Messages.size(), 1u) << "the same failure is not shown again";
    EXPECT_EQ(form.Game->RecordPlace, 1);
    EXPECT_EQ(form.LV1->topLevelItemCount(), 1) << "the live row in an empty table";

    // Another failure is news.
    StoreBytes(CompressStream("TPF1"));
    SetScore(form, 400);
    EXPECT_EQ(errors.Messages.back(), "Invalid stream format");
    EXPECT_EQ(std::filesystem::file_size(RecordsFile), CompressStream("TPF1").size()) << "the file stays";
}
