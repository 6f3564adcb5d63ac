// The records table: LV1 and its file, the live row of the current game,
// the name entry and erasing all records.

#include <QKeyEvent>
#include <QValidator>

#include "storage/cp1251.h"
#include "window/Unit1.h"

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
    const auto& entries = Session->Records()->Entries();
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
    const ColumnWidths widths = Session->Records()->Book().Widths();
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

void TForm1::ShowNameEntry()
{
    const SessionView& view = Session->View();
    if (!view.NameEntry) {
        Edit1->setEnabled(false);
        Edit1->hide();
        setFocus();
        return;
    }
    Edit1->show();
    Edit1->setEnabled(true);
    Edit1->setText(QString::fromStdString(view.NameText));
    Edit1->setFocus();
    // The proposed name is selected: typing replaces it, Enter keeps it.
    if (view.SelectName)
        Edit1->selectAll();
}

void TForm1::Edit1Change()
{
    const std::string typed = Edit1->text().toStdString();
    if (ReplacingName)
        return;
    const std::string held = Session->NameTyped(typed);
    if (held == typed)
        return;
    // A player name that breaks the rule itself is let stand.
    ReplacingName = true;
    Edit1->setText(QString::fromStdString(held));
    Edit1->selectAll();
    ReplacingName = false;
}

void TForm1::Edit1KeyPress(QChar key)
{
    if (key == QChar('\r'))
        Session->NameEntryEnter();
}

// ---- The name entry keeps the keyboard while it is open -------------------------

void TForm1::focusInEvent(QFocusEvent* event)
{
    // A click on the window would otherwise take the keys from the entry.
    if (Session && Session->View().NameEntry)
        Edit1->setFocus();
    QWidget::focusInEvent(event);
}
