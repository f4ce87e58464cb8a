#include "infoform.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

TInfoForm::TInfoForm(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_progressPattern(tr("%1 of %2 pictures"))
{
    setObjectName(QStringLiteral("InfoForm"));
    setFixedSize(303, 72);
    setWindowOpacity(200.0 / 255.0);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    setPalette(white);

    QFont font(QStringLiteral("Trebuchet MS"));
    font.setPixelSize(13);
    InfoLabel = new QLabel(QStringLiteral("Parsing source, Please wait for a moment..."), this);
    InfoLabel->setObjectName(QStringLiteral("InfoLabel"));
    InfoLabel->setFont(font);
    InfoLabel->move(16, 24);
    InfoLabel->adjustSize();

    m_progressLabel = new QLabel(this);
    m_progressLabel->setObjectName(QStringLiteral("ProgressLabel"));
    m_progressLabel->setFont(font);
    m_progressLabel->setGeometry(16, 46, 190, 18);

    CancelBtn = new QPushButton(tr("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(211, 43, 80, 24);
    connect(CancelBtn, &QPushButton::clicked, this, [this] {
        CancelBtn->setEnabled(false); // once is enough; the editor follows shortly
        emit cancelRequested();
    });
}

void TInfoForm::setTexts(const QString &cancelCaption, const QString &progressPattern)
{
    CancelBtn->setText(cancelCaption);
    m_progressPattern = progressPattern;
}

void TInfoForm::showWaiting()
{
    m_progressLabel->clear();
    CancelBtn->setEnabled(true);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    show();
    raise();
    repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TInfoForm::showProgress(int done, int total)
{
    m_progressLabel->setText(total > 0 ? QString(m_progressPattern).arg(done).arg(total) : QString());
    m_progressLabel->repaint();
}

void TInfoForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && CancelBtn->isEnabled())
        CancelBtn->click();
    else
        QWidget::keyPressEvent(event);
}
