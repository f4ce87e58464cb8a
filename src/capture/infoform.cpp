#include "infoform.h"

#include "programtext.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>

TInfoForm::TInfoForm(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("InfoForm"));
    setFixedSize(303, 72);
    setWindowOpacity(200.0 / 255.0);
    // White with black text in a light palette; a dark palette keeps its own colours.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setForegroundRole(QPalette::Text);

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
    m_progressLabel->setGeometry(16, 44, 271, 18);
}

void TInfoForm::showWaiting()
{
    // In the language chosen since the window was made.
    InfoLabel->setText(programText("Parsing source, Please wait for a moment..."));
    InfoLabel->adjustSize();
    m_progressLabel->clear();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    show();
    raise();
    repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TInfoForm::showProgress(int done, int total)
{
    m_progressLabel->setText(total > 0 ? programText("%1 of %2 pictures").arg(done).arg(total) : QString());
    m_progressLabel->repaint();
}
