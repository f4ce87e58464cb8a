#include "aboutform.h"

#include "appcontext.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

TaboutForm::TaboutForm(const QString &programFolder, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("aboutForm"));
    setWindowTitle(QLatin1String(ApplicationTitle));
    setFixedSize(492, 205);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    QFont font(QStringLiteral("Trebuchet MS"));
    font.setPixelSize(13);
    setFont(font);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(28, 41, 48, 48);
    Image1->setPixmap(QPixmap(programFolder + QStringLiteral("logo"), "PNG"));
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->installEventFilter(this);

    JvInstallLabel1 = new QLabel(this);
    JvInstallLabel1->setObjectName(QStringLiteral("JvInstallLabel1"));
    JvInstallLabel1->setGeometry(80, 22, 281, 91);
    JvInstallLabel1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    JvInstallLabel1->setText(QStringLiteral("<div style=\"line-height:140%\"><b>Clipnest</b> note keeper<br>"
                                            "Web site: %1<br>Support: support@clipnest.app</div>")
                                 .arg(QLatin1String(ProductWebSite)));

    // The version compiled in, four numbers: major.minor.release.build.
    m_major = CLIPNEST_VERSION_MAJOR;
    m_minor = CLIPNEST_VERSION_MINOR;
    m_versionLine = QString::asprintf("%d.%d.%d.%d", CLIPNEST_VERSION_MAJOR, CLIPNEST_VERSION_MINOR,
                                      CLIPNEST_VERSION_PATCH, CLIPNEST_VERSION_TWEAK);
    verLabel = new QLabel(QStringLiteral("Version: ") + m_versionLine, this);
    verLabel->setObjectName(QStringLiteral("verLabel"));
    verLabel->move(88, 112);
    QPalette green = verLabel->palette();
    green.setColor(QPalette::WindowText, QColor(0, 128, 0));
    verLabel->setPalette(green);
    QFont bold = font;
    bold.setBold(true);
    verLabel->setFont(bold);
    verLabel->adjustSize();

    okBtn = new QPushButton(QStringLiteral("ok"), this);
    okBtn->setObjectName(QStringLiteral("okBtn"));
    okBtn->setGeometry(384, 22, 75, 25);
    connect(okBtn, &QPushButton::clicked, this, &QWidget::hide);

    UpdBtn = new QPushButton(QStringLiteral("update"), this);
    UpdBtn->setObjectName(QStringLiteral("UpdBtn"));
    UpdBtn->setGeometry(384, 70, 75, 25);
    UpdBtn->setEnabled(false); // the update check is not wired yet

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

bool TaboutForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) {
        QDesktopServices::openUrl(QUrl(QLatin1String(ProductWebSite)));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
