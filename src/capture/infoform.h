#pragma once

#include <QWidget>

class QLabel;

// The window that asks the user to wait while a drop is parsed and its pictures
// are fetched. It lives for the whole run and is only shown and hidden.
class TInfoForm : public QWidget
{
    Q_OBJECT

public:
    explicit TInfoForm(QWidget *parent = nullptr);

    // Shows the window centred on the screen, in front, and paints it at once.
    void showWaiting();
    // "3 of 17 pictures"; an empty progress line when total is 0.
    void showProgress(int done, int total);

    QLabel *progressLabel() const { return m_progressLabel; }

private:
    QLabel *InfoLabel = nullptr;
    QLabel *m_progressLabel = nullptr;
};
