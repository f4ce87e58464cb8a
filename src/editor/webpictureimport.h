#pragma once

#include "parseddrop.h"

#include <QObject>
#include <QPointer>

#include <functional>

struct AppContext;
class QWidget;
class TExWebBrowser;

// Pictures from the web that reach a note through its editor (a dropped
// selection, Insert Image with a web address, pasted HTML) are stored in the
// note's "images" folder by the capture's own code and limits, exactly as a drop
// on the drop box stores them, so that the note reads offline. A progress
// window with a Cancel button is shown while they download.
class WebPictureImport : public QObject
{
    Q_OBJECT

public:
    // noteFolder: the note's day folder, asked at each use; editable: whether
    // the note may be changed now; tell: shows a message to the user.
    WebPictureImport(QWidget *window, TExWebBrowser *view, AppContext &context, std::function<QString()> noteFolder,
                     std::function<bool()> editable, std::function<void(const QString &)> tell);

    // Parses dropped clip text with its pictures stored in the note's folder.
    ParsedDrop parseClip(const QByteArray &clipText);
    // The picture HTML of Insert Image as the note takes it: a web picture
    // stored beside the note. Empty when it could not be downloaded (the user
    // has been told, and nothing should be inserted).
    QString insertablePicture(const QString &html, const QString &address);
    // Pastes the clipboard at the caret. HTML with pictures on the web is pasted
    // with the pictures stored first; anything else as the view pastes it.
    void paste();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void watchKeysOf(QObject *object);
    // Pastes the clipboard's HTML when it holds web pictures; answers whether it did.
    bool pasteWithPictures();

    QPointer<QWidget> m_window;
    QPointer<TExWebBrowser> m_view;
    AppContext &m_context;
    std::function<QString()> m_noteFolder;
    std::function<bool()> m_editable;
    std::function<void(const QString &)> m_tell;
    bool m_busy = false;
};
