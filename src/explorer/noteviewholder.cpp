#include "noteviewholder.h"

#include "exwebbrowser.h"

#include <QQuickWidget>
#include <QVBoxLayout>

NoteViewHolder::NoteViewHolder(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("NoteViewHolder"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The web view draws into a texture. A window takes that kind of child only
    // when its system window is made, so a hidden stand-in says so from the start:
    // otherwise the later view makes the system window anew (it flashes, and
    // comes up above the drop box where no window manager keeps that on top).
    auto *textureStandIn = new QQuickWidget(this);
    textureStandIn->hide();
}

TExWebBrowser *NoteViewHolder::view()
{
    if (m_view)
        return m_view;
    m_view = new TExWebBrowser(this);
    m_view->setObjectName(QStringLiteral("Content"));
    layout()->addWidget(m_view);
    if (setUpView)
        setUpView(m_view);
    m_view->Navigate(QStringLiteral("about:blank"));
    m_view->WaitWhileBusy();
    return m_view;
}
