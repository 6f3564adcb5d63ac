#include "colour_dialog.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <array>

namespace {

bool BasicComponent(unsigned value)
{
    for (unsigned allowed : {0u, 64u, 128u, 160u, 192u, 255u})
        if (value == allowed)
            return true;
    return false;
}

// The 48 basic colours, as RGB, six rows of eight.
constexpr std::array<unsigned, 48> BasicColours = {
    0xFF8080, 0xFFFF80, 0x80FF80, 0x00FF80, 0x80FFFF, 0x0080FF, 0xFF80C0, 0xFF80FF,
    0xFF0000, 0xFFFF00, 0x80FF00, 0x00FF40, 0x00FFFF, 0x0080C0, 0x8080C0, 0xFF00FF,
    0x804040, 0xFF8040, 0x00FF00, 0x008080, 0x004080, 0x8080FF, 0x800040, 0xFF0080,
    0x800000, 0xFF8000, 0x008000, 0x008040, 0x0000FF, 0x0000A0, 0x800080, 0x8000FF,
    0x400000, 0x804000, 0x004000, 0x004040, 0x000080, 0x000040, 0x400040, 0x400080,
    0x000000, 0x808000, 0x808040, 0x808080, 0x408080, 0xC0C0C0, 0x400040, 0xFFFFFF,
};

// Qt's colour dialog's own texts, so that Qt's translations serve this one
// too; the mnemonics are not used here.
QString QtText(const char* text)
{
    return QCoreApplication::translate("QColorDialog", text).remove('&');
}

class ColourDialog : public QDialog {
public:
    ColourDialog(QWidget* parent, const QColor& preset, bool full) : QDialog(parent), Chosen(preset)
    {
        setWindowTitle(QtText("Select Color"));
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(QtText("&Basic colors") + ":"));
        auto* grid = new QGridLayout;
        grid->setSpacing(3);
        for (int i = 0; i < int(BasicColours.size()); ++i) {
            const QColor colour = QColor::fromRgb(QRgb(BasicColours[i]));
            auto* swatch = new QToolButton;
            swatch->setFixedSize(22, 18);
            swatch->setCheckable(true);
            swatch->setAutoExclusive(true);
            swatch->setChecked(colour.rgb() == preset.rgb());
            swatch->setStyleSheet(QString("QToolButton { background: %1; border: 1px solid #404040; }"
                                          "QToolButton:checked { border: 2px solid black; }")
                                      .arg(colour.name()));
            connect(swatch, &QToolButton::clicked, this, [this, colour] { Pick(colour); });
            grid->addWidget(swatch, i / 8, i % 8);
        }
        layout->addLayout(grid);

        Picker = new QColorDialog(preset, this);
        Picker->setWindowFlags(Qt::Widget);
        Picker->setOptions(QColorDialog::DontUseNativeDialog | QColorDialog::NoButtons);
        Picker->setVisible(full);
        connect(Picker, &QColorDialog::currentColorChanged, this, [this](const QColor& c) { Chosen = c; });
        layout->addWidget(Picker);

        More = new QPushButton(QtText("&Custom colors") + " >>");
        More->setVisible(!full);
        connect(More, &QPushButton::clicked, this, [this] {
            Picker->setVisible(true);
            More->setVisible(false);
            adjustSize();
        });
        layout->addWidget(More);

        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        layout->addWidget(buttons);
    }

    QColor Chosen;

private:
    void Pick(const QColor& colour)
    {
        Chosen = colour;
        QSignalBlocker block(Picker);
        Picker->setCurrentColor(colour);
    }

    QColorDialog* Picker;
    QPushButton* More;
};

}  // namespace

bool OpensShortForm(WinColour preset)
{
    return BasicComponent(preset & 0xFF) && BasicComponent((preset >> 8) & 0xFF) &&
           BasicComponent((preset >> 16) & 0xFF);
}

WinColour RunColourDialog(QWidget* parent, WinColour preset)
{
    ColourDialog dialog(parent, ToQColor(preset), !OpensShortForm(preset));
    if (dialog.exec() != QDialog::Accepted)
        return preset;
    return FromQColor(dialog.Chosen);
}
