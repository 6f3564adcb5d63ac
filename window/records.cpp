// The records table: LV1 and its file, the live row of the current game,
// the name entry and erasing all records.

#include <QKeyEvent>
#include <QScopeGuard>
#include <QValidator>

#include "common/records_site.h"
#include "i18n/messages.h"
#include "storage/cp1251.h"
#include "window/Unit1.h"
#include "window/application.h"

namespace {

// The name entry takes only what code page 1251 can hold, so that what is
// stored is what the player saw; other characters are ignored as typed.
class Cp1251Validator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& position) const override
    {
        QString kept;
        int keptBefore = 0;
        for (int i = 0; i < input.size(); ++i) {
            const QChar c = input[i];
            if (c.isSurrogate() || !Cp1251CanHold(c.unicode()))
                continue;
            kept += c;
            if (i < position)
                ++keptBefore;
        }
        input = kept;
        position = keptBefore;
        return Acceptable;
    }
};

QString Text(const std::string& utf8)
{
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

}  // namespace

void TForm1::ConnectRecords()
{
    Edit1->setValidator(new Cp1251Validator(Edit1));
    Edit1->setMaxLength(NameLength);
    connect(Edit1, &QLineEdit::textChanged, this, &TForm1::Edit1Change);
}

void TForm1::ShowRecords()
{
    const auto& entries = Records.Entries();
    // Rows are reused: this runs on every score change.
    while (LV1->topLevelItemCount() > int(entries.size()))
        delete LV1->takeTopLevelItem(LV1->topLevelItemCount() - 1);
    while (LV1->topLevelItemCount() < int(entries.size())) {
        auto* row = new QTreeWidgetItem(LV1);
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    }
    for (int k = 0; k < int(entries.size()); ++k) {
        QTreeWidgetItem* row = LV1->topLevelItem(k);
        const RecordEntry& entry = entries[std::size_t(k)];
        row->setText(0, Text(entry.Place));
        row->setText(1, Text(entry.Name));
        row->setText(2, Text(entry.Score));
    }
    LV1->clearSelection();
    LV1->setCurrentItem(nullptr);
    const ColumnWidths widths = Records.Book().Widths();
    LV1->setColumnWidth(0, widths.Place);
    LV1->setColumnWidth(1, widths.Name);
    LV1->setColumnWidth(2, widths.Score);
}

void TForm1::SelectRecordRow(int place)
{
    if (place < 1 || place > LV1->topLevelItemCount())
        return;
    QTreeWidgetItem* row = LV1->topLevelItem(place - 1);
    LV1->setCurrentItem(row);
    LV1->scrollToItem(row);
}

void TForm1::ShowRecordsStep(const RecordsStep& step)
{
    ShowRecords();
    SelectRecordRow(step.Place);
    if (step.Failure)
        ShowLoadFailure(*step.Failure);
}

void TForm1::ShowLoadFailure(const RecordsLoadFailure& failure)
{
    if (!failure.Damaged) {
        // Shown once: the same failure again on every score change would
        // bury the game under message boxes.
        if (!failure.Repeated)
            VantorixApplication::ReportError(Text(failure.Message));
        return;
    }
    const QString where = failure.KeptAs.empty()
                              ? "The damaged file could not be set aside: " + Text(failure.Reason) + "."
                              : "The damaged file was kept as " + Text(failure.KeptAs) + ".";
    MessageDialog(QMessageBox::Critical, "Error", Text(failure.Message) + "\r\n\r\n" + where, QMessageBox::Ok);
    // The program ends when control is back in the event loop.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TForm1::Read_Res()
{
    ShowRecordsStep(Records.Load());
}

void TForm1::CheckPlace()
{
    // The autopilot's game keeps its name when the autopilot is switched off
    // before this notice comes.
    const QString name = Play->AutopilotPlayed() ? QString(AutopilotName) : Flags.PlayerName;
    const RecordsStep step = Records.ScoreChanged(name.toStdString(), Game->Score, Game->RecordPlace);
    Game->RecordPlace = static_cast<std::uint8_t>(step.Place);
    ShowRecordsStep(step);
    if (step.RecordSound)
        Game->PlayRecordSound();
}

void TForm1::Edit1Change()
{
    const std::string typed = Edit1->text().toStdString();
    const std::string held = RecordsSession::EntryText(typed, Flags.PlayerName.toStdString());
    if (ReplacingName || held == typed)
        return;
    // A player name that breaks the rule itself is let stand.
    ReplacingName = true;
    Edit1->setText(QString::fromStdString(held));
    Edit1->selectAll();
    ReplacingName = false;
}

void TForm1::Edit1KeyPress(QChar key)
{
    if (key != QChar('\r'))
        return;
    Edit1->setEnabled(false);
    Edit1->hide();
    Label8->setEnabled(true);
    setFocus();
    // Reported here, not thrown out through the entry's signal: Qt's widget
    // code is not built to be unwound. The table keeps the name meanwhile.
    try {
        Records.NameEntered(Game->RecordPlace, Edit1->text().toStdString(), std::exchange(EndedGame, std::nullopt));
    } catch (const std::exception& error) {
        VantorixApplication::ReportError(QString::fromUtf8(error.what()));
    }
    ShowRecords();
    SelectRecordRow(Game->RecordPlace);
}

void TForm1::Erase_ResultsClick()
{
    Flags.EraseDialogOpen = true;
    const auto done = qScopeGuard([this] {
        Flags.EraseDialogOpen = false;
        Flags.MenuToggle = !Flags.MenuToggle;
    });
    const Language language = LanguageInForce.Shown();
    for (int k = 0; k < EraseQuestions; ++k) {
        const MessageText question = EraseMessage(language, k);
        if (MessageDialog(QMessageBox::NoIcon, QString::fromUtf8(question.Caption), QString::fromUtf8(question.Text),
                          QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
    }
    const MessageText agreed = EraseMessage(language, EraseQuestions);
    MessageDialog(QMessageBox::NoIcon, QString::fromUtf8(agreed.Caption), QString::fromUtf8(agreed.Text),
                  QMessageBox::Ok);
    try {
        const RecordsStep step = Records.Erase();
        Game->RecordPlace = static_cast<std::uint8_t>(step.Place);
        ShowRecordsStep(step);
    } catch (const std::exception& error) {
        VantorixApplication::ReportError(QString::fromUtf8(error.what()));   // as in Edit1KeyPress
    }
}

// ---- The name entry keeps the keyboard while it is open -------------------------

void TForm1::focusInEvent(QFocusEvent* event)
{
    // A click on the window would otherwise take the keys from the entry.
    if (Edit1->isEnabled())
        Edit1->setFocus();
    QWidget::focusInEvent(event);
}
