#include "aboutform.h"

#include "appcontext.h"
#include "logopicture.h"
#include "programtext.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

TaboutForm::TaboutForm(AppContext &context, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_context(context)
    , m_updateSite(QLatin1String(ProductWebSite))
{
    setObjectName(QStringLiteral("aboutForm"));
    setWindowTitle(QLatin1String(ApplicationTitle));
    setFixedSize(492, 205);
    // White in a light palette; a dark palette keeps its own colours, text included.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setForegroundRole(QPalette::Text);
    QFont font(QStringLiteral("Trebuchet MS"));
    font.setPixelSize(13);
    setFont(font);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(28, 41, LogoBoxSize, LogoBoxSize);
    m_logo = QImage(m_context.programFolder + QStringLiteral("logo"), "PNG");
    showLogo();
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->installEventFilter(this);

    JvInstallLabel1 = new QLabel(this);
    JvInstallLabel1->setObjectName(QStringLiteral("JvInstallLabel1"));
    JvInstallLabel1->setGeometry(80, 22, 281, 91);
    JvInstallLabel1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    JvInstallLabel1->setForegroundRole(QPalette::Text);

    // The version compiled in, four numbers: major.minor.release.build.
    m_major = CLIPNEST_VERSION_MAJOR;
    m_minor = CLIPNEST_VERSION_MINOR;
    m_versionLine = QString::asprintf("%d.%d.%d.%d", CLIPNEST_VERSION_MAJOR, CLIPNEST_VERSION_MINOR,
                                      CLIPNEST_VERSION_PATCH, CLIPNEST_VERSION_TWEAK);
    verLabel = new QLabel(this);
    verLabel->setObjectName(QStringLiteral("verLabel"));
    verLabel->move(88, 112);
    QFont bold = font;
    bold.setBold(true);
    verLabel->setFont(bold);
    showVersionColour();

    okBtn = new QPushButton(this);
    okBtn->setObjectName(QStringLiteral("okBtn"));
    okBtn->setGeometry(384, 22, 75, 25);
    connect(okBtn, &QPushButton::clicked, this, &QWidget::hide);

    UpdBtn = new QPushButton(this);
    UpdBtn->setObjectName(QStringLiteral("UpdBtn"));
    UpdBtn->setGeometry(384, 70, 75, 25);
    connect(UpdBtn, &QPushButton::clicked, this, &TaboutForm::UpdBtnClick);
    presentOutcome = [this](const UpdateOutcome &outcome) { showOutcome(outcome); };
    showTexts();

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TaboutForm::showLogo()
{
    // The whole picture at the box's size, sharp at the screen's pixel ratio.
    const QPixmap shown = logoForBox(m_logo, LogoBoxSize, devicePixelRatioF());
    if (shown.isNull())
        Image1->clear();
    else
        Image1->setPixmap(shown);
}

void TaboutForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The box may come up on a screen of another pixel ratio than it was made for.
    showLogo();
}

void TaboutForm::showTexts()
{
    JvInstallLabel1->setText(QStringLiteral("<div style=\"line-height:140%\"><b>Clipnest</b> %1<br>"
                                            "%2 %3<br>%4 support@clipnest.app</div>")
                                 .arg(programText("note keeper"), programText("Web site:"),
                                      QLatin1String(ProductWebSite), programText("Support:")));
    verLabel->setText(programText("Version: ") + m_versionLine);
    verLabel->adjustSize();
    okBtn->setText(programText("ok"));
    UpdBtn->setText(programText("update"));
}

void TaboutForm::showVersionColour()
{
    // Green that stands out from the background, light or dark.
    const bool darkBackground = palette().color(QPalette::Base).lightness() < 128;
    QPalette green = verLabel->palette();
    green.setColor(QPalette::WindowText, darkBackground ? QColor(110, 210, 110) : QColor(0, 128, 0));
    verLabel->setPalette(green);
}

void TaboutForm::changeEvent(QEvent *event)
{
    // Events may come while the controls are still being made.
    if (event->type() == QEvent::LanguageChange && UpdBtn)
        showTexts();
    else if (event->type() == QEvent::PaletteChange && verLabel)
        showVersionColour();
    QDialog::changeEvent(event);
}

bool TaboutForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) {
        QDesktopServices::openUrl(QUrl(QLatin1String(ProductWebSite)));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

TaboutForm::~TaboutForm()
{
    // At shutdown a check still waiting for the site is ended rather than waited for.
    if (m_check)
        m_check->cancel();
}

void TaboutForm::UpdBtnClick()
{
    m_check.reset(); // waits for a check still running
    QPointer<TaboutForm> self(this);
    m_check =
        std::make_unique<TTavloUpdateThread>(m_updateSite, m_major, m_minor, [self](const UpdateOutcome &outcome) {
            QMetaObject::invokeMethod(
                qApp,
                [self, outcome] {
                    if (self)
                        self->presentOutcome(outcome);
                },
                Qt::QueuedConnection);
        });
}

void TaboutForm::showOutcome(const UpdateOutcome &outcome)
{
    auto text = [this](const char *key) { return m_context.messages.shown(QLatin1String(key)); };
    // The messages do not hold up the rest of the program.
    auto *box = new QMessageBox(QMessageBox::NoIcon, QLatin1String(ApplicationTitle), QString(), QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    switch (outcome.kind) {
    case UpdateOutcome::ConnectFail:
        box->setText(text("ConnectFail"));
        break;
    case UpdateOutcome::UpdateFileError:
        box->setText(text("UpdateFileError"));
        break;
    case UpdateOutcome::NoNeedDownload:
        box->setText(text("NoNeedDownload"));
        break;
    case UpdateOutcome::Offer: {
        box->setText(text("DownloadNewVer") + outcome.published.version);
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        // The address ends with its line: text after it is not part of what is opened.
        const QString address = outcome.published.address.section(QLatin1Char('\n'), 0, 0).trimmed();
        connect(box, &QMessageBox::finished, this, [address](int result) {
            // Only a web address: the site must not make the program open local files.
            const QUrl url(address);
            if (result == QMessageBox::Yes &&
                (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")))
                QDesktopServices::openUrl(url);
        });
        break;
    }
    case UpdateOutcome::Silent:
        delete box;
        return;
    }
    box->show();
}
