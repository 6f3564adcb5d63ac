// Publishing the best scores, the records page, and the link labels.

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

#include "i18n/messages.h"
#include "online/check_url.h"
#include "online/publish_address.h"
#include "window/Unit1.h"

std::function<bool(const QUrl&)> TForm1::OpenUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

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

CheckUrlLimits TForm1::PublishLimits;

void TForm1::Send_Results()
{
    if (Publishing())
        return;
    const std::vector<RecordEntry> entries = Records.Entries();
    const PublishValues values = ChoosePublishValues(entries);
    const std::string address = PublishAddress(RecordsServer, values);
    const std::string replayAddress = ReplayAddress(RecordsServer, values.Name);
    // The games themselves go after the scores, for our own server to check.
    std::vector<std::string> replays;
    const PublishedPlaces places = ChoosePublishedPlaces(entries);
    for (int place : {places.Player, places.Autopilot}) {
        try {
            if (auto replay = Records.Replays().Bytes(entries, place))
                replays.push_back(std::move(*replay));
        } catch (const std::exception&) {
            // a replay file gone bad is not sent
        }
    }
    // The server may take seconds: the window goes on drawing meanwhile,
    // with the wait cursor, and takes no keys until it has the answer.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const CheckUrlLimits limits = PublishLimits;
    Publisher.reset(QThread::create([this, address, replayAddress, replays, limits] {
        bool published = false;
        try {
            published = CheckUrl(address, limits);
            // A server that does not know the address (404) is not asked again.
            for (std::size_t k = 0; published && k < replays.size(); ++k)
                if (PostBody(replayAddress, replays[k], "application/octet-stream", limits) == 404)
                    break;
        } catch (const std::exception&) {
            // out of memory at worst: what was published stays published
        }
        QMetaObject::invokeMethod(this, [this, published] { PublishEnded(published); }, Qt::QueuedConnection);
    }));
    Publisher->start();
}

void TForm1::PublishEnded(bool published)
{
    if (!Publisher)
        return;
    Publisher->wait();
    Publisher.reset();
    QApplication::restoreOverrideCursor();
    const Language language = LanguageInForce.Shown();
    const MessageText told = published ? PublishedMessage(language) : NotPublishedMessage(language);
    MessageDialog(published ? QMessageBox::NoIcon : QMessageBox::Critical, QString::fromUtf8(told.Caption),
                  QString::fromUtf8(told.Text), QMessageBox::Ok);
    if (published)
        Look_Results();
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
