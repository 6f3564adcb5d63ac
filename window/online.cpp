// Publishing the best scores, the records page, and the link labels.

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

#include "online/check_url.h"
#include "online/publish_address.h"
#include "window/Unit1.h"

std::function<bool(const QUrl&)> TForm1::OpenUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

namespace {

struct Message {
    const char* caption;
    const char* text;
};

// Success and failure, English then Russian; the blanks centre the lines.
const Message Published[2] = {
    {"Congratulation!",
     "           Your highest score\r\n           will be posted only.\r\n           If Your result beats\r\n"
     "      at least the lowest score  \r\n     displayed on our web-site,    \r\n"
     " your name will appear in the list.  \r\n                Check it out.!"},
    {"Поздравляем!",
     "         Если Ваш высший результат \r\nне ниже последнего в списке на сайте,   \r\n"
     "   то Вы найдете свое имя в таблице!\r\n\r\n                       Проверяйте!"},
};
const Message NotPublished[2] = {
    {"Error!", "Server not responding\r\nor Internet connection\r\nis closed!  "},
    {"Ошибка!", "Сервер не отвечает\r\nили отсутствует\r\nсоединение с интернетом!  "},
};

}  // namespace

void TForm1::ConnectLinks()
{
    for (TClickLabel* link : {Label4, Label5, Label11, Label9, Label10, Label12}) {
        connect(link, &TClickLabel::hovered, this, [this, link] { LabelMouseMove(link); });
        connect(link, &TClickLabel::left, this, [this, link] { LabelMouseLeave(link); });
    }
    connect(Label5, &TClickLabel::clicked, this, &TForm1::LabelMailClick);
    connect(Label9, &TClickLabel::clicked, this, &TForm1::LabelMailClick);
    connect(Label10, &TClickLabel::clicked, this, [this] { LabelHttpClick(Label10); });
    connect(Label12, &TClickLabel::clicked, this, [this] { LabelHttpClick(Label12); });
    ShowLinkAddresses();
}

void TForm1::ShowLinkAddresses()
{
    const QString site = QString::fromStdString(SiteAddress(RecordsServer));
    Label10->setText(site);
    Label12->setText(site);
    Label9->setText(AuthorMail.empty() ? QString("E-mail...") : QString::fromStdString(AuthorMail));
}

void TForm1::Send_Results()
{
    const int language = LanguageInForce.English() ? 0 : 1;
    const std::string address = PublishAddress(RecordsServer, ChoosePublishValues(Records.Entries()));
    // The request blocks the window, as the player can see from the cursor.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool published = CheckUrl(address);
    QApplication::restoreOverrideCursor();
    if (published) {
        MessageDialog(QMessageBox::NoIcon, QString::fromUtf8(Published[language].caption),
                      QString::fromUtf8(Published[language].text), QMessageBox::Ok);
        Look_Results();
    } else {
        MessageDialog(QMessageBox::Critical, QString::fromUtf8(NotPublished[language].caption),
                      QString::fromUtf8(NotPublished[language].text), QMessageBox::Ok);
    }
    Flags.MenuToggle = !Flags.MenuToggle;
}

void TForm1::Look_Results()
{
    OpenUrl(QUrl(QString::fromStdString(RecordsPageAddress(RecordsServer))));
    Flags.MenuToggle = !Flags.MenuToggle;
}

void TForm1::LabelMouseMove(QLabel* label)
{
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
}

void TForm1::LabelMouseLeave(QLabel* label)
{
    QFont font = label->font();
    font.setUnderline(false);
    label->setFont(font);
}

void TForm1::LabelMailClick()
{
    OpenUrl(QUrl(QString::fromStdString(MailLink(AuthorMail))));
}

void TForm1::LabelHttpClick(QLabel* label)
{
    OpenUrl(QUrl(label->text()));
}
