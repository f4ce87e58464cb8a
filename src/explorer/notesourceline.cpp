#include "notesourceline.h"

#include "externallink.h"
#include "notepage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QUrl>

#include <algorithm>

NoteSourceLine::NoteSourceLine(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("NoteSourceLine"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    m_caption = new QLabel(tr("Source:"), this);
    m_caption->setObjectName(QStringLiteral("NoteSourceLabel"));
    m_link = new QLabel(this);
    m_link->setObjectName(QStringLiteral("NoteSourceAddress"));
    m_link->setTextFormat(Qt::RichText);
    m_link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    // A long address is cut to the room there is, never widening the window.
    m_link->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    connect(m_link, &QLabel::linkActivated, this, [this] { NotePage::OpenLinkInBrowser(QUrl(m_address)); });
    row->addWidget(m_caption);
    row->addWidget(m_link, 1);
    hide();
}

void NoteSourceLine::setAddress(const QString &address)
{
    m_address = address;
    setVisible(!address.isEmpty());
    showAddress();
}

void NoteSourceLine::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    showAddress();
}

void NoteSourceLine::showAddress()
{
    m_link->setToolTip(m_address);
    const QString shown = m_link->fontMetrics().elidedText(m_address, Qt::ElideMiddle, std::max(40, m_link->width()));
    // Only addresses the program hands to the browser are links; a local page's is text.
    if (isSafeExternalLink(QUrl(m_address)))
        m_link->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(m_address.toHtmlEscaped(), shown.toHtmlEscaped()));
    else
        m_link->setText(shown.toHtmlEscaped());
}
