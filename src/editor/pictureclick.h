#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>

class TExWebBrowser;

// In an editable note a click on a picture selects the picture as a whole (the
// engine only puts the caret beside it), so that Properties finds it.
class PictureClickSelector : public QObject
{
    Q_OBJECT

public:
    explicit PictureClickSelector(TExWebBrowser *view);

    // Selects the picture at a point of the view, if there is one and the note
    // is being edited; answers through the picture's selection, asynchronously.
    void selectPictureAt(const QPoint &viewPoint);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void watch(QObject *child);

    QPointer<TExWebBrowser> m_view;
    QPoint m_pressedAt;
};
