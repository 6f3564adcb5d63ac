// Publishing the best scores, the records page, and the link labels.

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

#include "online/check_url.h"
#include "online/publish_address.h"
#include "window/Unit1.h"

std::function<bool(const QUrl&)> TForm1::OpenAddress = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

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
}

void TForm1::LabelMailClick()
{
    OpenUrl(MailLink(Session->Options().Mail));
}

void TForm1::LabelHttpClick(QLabel* label)
{
    OpenUrl(label->text().toStdString());
}

void TForm1::ShowLinkAddresses()
{
    const GameOptions& options = Session->Options();
    const QString site = QString::fromStdString(SiteAddress(options.Server));
    Label10->setText(site);
    Label12->setText(site);
    Label9->setText(options.Mail.empty() ? QString("E-mail...") : QString::fromStdString(options.Mail));
}

void TForm1::OpenUrl(const std::string& address)
{
    OpenAddress(QUrl(QString::fromStdString(address)));
}

CheckUrlLimits TForm1::PublishLimits;

void TForm1::Publish(const PublishJob& job)
{
    // The server may take seconds: the window goes on drawing meanwhile,
    // with the wait cursor, and takes no keys until it has the answer.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const CheckUrlLimits limits = PublishLimits;
    Publisher.reset(QThread::create([this, job, limits] {
        bool published = false;
        try {
            published = CheckUrl(job.Address, limits);
            // A server that does not know the address (404) is not asked again.
            for (std::size_t k = 0; published && k < job.Replays.size(); ++k)
                if (PostBody(job.ReplayAddress, job.Replays[k], "application/octet-stream", limits) == 404)
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
    Session->PublishEnded(published);
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
