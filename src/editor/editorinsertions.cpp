#include "editorform.h"

#include "appcontext.h"
#include "exwebbrowser.h"
#include "insertdialogs.h"
#include "webpictureimport.h"
#include "wholefile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QThread>

#include <stdexcept>

// The editor's commands that insert into the note: pictures, links, a screen
// capture and highlighted code, and the properties of a picture or link.

void TEditorForm::AddImageClick()
{
    TAddImageForm dialog(this);
    dialog.rememberFolderIn(m_context.programFolder);
    if (!runImageDialog(dialog))
        return;
    const QString address = noteAddress(dialog.urlEdit->text());
    // A picture on the web is stored in the note first, so that it reads offline.
    const QString html = m_webPictures->insertablePicture(
        pictureHtml(address, dialog.WidthEdit->text(), dialog.HeightEdit->text()), address);
    if (html.isEmpty())
        return;
    Content->WaitWhileBusy();
    Content->PasteHtml(html);
}

void TEditorForm::AddLinkClick()
{
    TAddLinkForm dialog(this);
    if (!runLinkDialog(dialog))
        return;
    const QString typed = dialog.urlEdit->text();
    QString anchor = dialog.anchortextEdit->text();
    if (anchor.trimmed().isEmpty())
        anchor = typed;
    const QString html = linkHtml(noteAddress(typed), anchor);
    Content->WaitWhileBusy();
    Content->PasteHtml(html);
}

void TEditorForm::PropertiesClick()
{
    try {
        const QVariantMap element = Content->SelectedElement();
        const QString tag = element.value(QStringLiteral("tagName")).toString();
        const QVariantMap attributes = element.value(QStringLiteral("attributes")).toMap();
        if (tag == QLatin1String("A") || tag == QLatin1String("a")) {
            const QString text = element.value(QStringLiteral("innerText")).toString();
            if (text.trimmed().isEmpty())
                return; // a link around a picture only
            TAddLinkForm dialog(this);
            dialog.urlEdit->setText(attributes.value(QStringLiteral("href")).toString());
            dialog.anchortextEdit->setText(text);
            if (!runLinkDialog(dialog))
                return;
            Content->SetElementText(dialog.anchortextEdit->text());
            Content->SetElementAttribute(QStringLiteral("href"), dialog.urlEdit->text());
        } else if (tag == QLatin1String("IMG") || tag == QLatin1String("img")) {
            TAddImageForm dialog(this);
            dialog.rememberFolderIn(m_context.programFolder);
            dialog.urlEdit->setText(attributes.value(QStringLiteral("src")).toString());
            dialog.WidthEdit->setText(attributes.value(QStringLiteral("width")).toString());
            dialog.HeightEdit->setText(attributes.value(QStringLiteral("height")).toString());
            // Where no size is written, the picture's own size shows in grey; it is written only if typed.
            const QVariantList natural =
                Content
                    ->RunScript(QStringLiteral("(function (picture) {"
                                               "  return picture && picture.naturalWidth"
                                               "      ? [picture.naturalWidth, picture.naturalHeight] : [];"
                                               "})(window.clipnestSelectedElement)"))
                    .toList();
            if (natural.size() == 2) {
                dialog.WidthEdit->setPlaceholderText(natural[0].toString());
                dialog.HeightEdit->setPlaceholderText(natural[1].toString());
            }
            if (!runImageDialog(dialog))
                return;
            Content->SetElementAttribute(QStringLiteral("src"), dialog.urlEdit->text());
            if (!dialog.WidthEdit->text().isEmpty())
                Content->SetElementAttribute(QStringLiteral("width"), dialog.WidthEdit->text());
            if (!dialog.HeightEdit->text().isEmpty())
                Content->SetElementAttribute(QStringLiteral("height"), dialog.HeightEdit->text());
        }
    } catch (const std::exception &) {
        showMessage(m_context.messages.shown(QStringLiteral("ViewProperties")));
    }
}

void TEditorForm::snapClick()
{
    // None of the program's windows may be in the picture.
    const bool dropBoxWasVisible = DropBoxWindow && DropBoxWindow->isVisible();
    const bool explorerWasVisible = ExplorerWindow && ExplorerWindow->isVisible();
    const Qt::WindowStates explorerState = ExplorerWindow ? ExplorerWindow->windowState() : Qt::WindowNoState;
    const Qt::WindowStates ownState = windowState();
    hide();
    if (dropBoxWasVisible)
        DropBoxWindow->hide();
    if (explorerWasVisible)
        ExplorerWindow->showMinimized();
    for (int i = 0; i < 5; ++i) { // let the window system take them away
        QCoreApplication::processEvents();
        QThread::msleep(40);
    }
    const QImage region = grabScreenRegion();
    if (explorerWasVisible && ExplorerWindow) {
        ExplorerWindow->setWindowState(explorerState & ~Qt::WindowMinimized);
        ExplorerWindow->show();
    }
    if (dropBoxWasVisible && DropBoxWindow)
        DropBoxWindow->show();
    setWindowState(ownState & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    if (region.isNull())
        return;

    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    const QString stamp = QString::asprintf("%.2d%.2d%.4d%.2d%.2d%.2d%.4d", date.month(), date.day(), date.year(),
                                            time.hour(), time.minute(), time.second(), time.msec());
    const QString images = NoteFolder + QStringLiteral("/images/");
    QDir().mkpath(images);
    QString path = images + stamp + QStringLiteral(".jpg");
    while (QFileInfo::exists(path))
        path = images + stamp + QString::number(QRandomGenerator::global()->bounded(10000)) + QStringLiteral(".jpg");
    QByteArray jpeg;
    QBuffer encoded(&jpeg);
    encoded.open(QIODevice::WriteOnly);
    const QString failure =
        region.save(&encoded, "JPEG", 100) ? writeWholeFile(path, jpeg) : tr("the picture could not be encoded");
    if (!failure.isEmpty())
        throw std::runtime_error(tr("Cannot save the screen capture to %1: %2").arg(path, failure).toStdString());
    Content->WaitWhileBusy();
    Content->InsertAtEndOfBody(QStringLiteral("<img src=\"images/") + QFileInfo(path).fileName() +
                               QStringLiteral("\"/>"));
}

void TEditorForm::SyntaxHighlighterClick()
{
    // The selected text stays text: "<" in code must not turn into markup.
    Content->PasteHtml(QStringLiteral("<pre class=\"brush:python;c++;java;\">") +
                       Content->SelectionText().toHtmlEscaped() + QStringLiteral("</pre>"));
}
