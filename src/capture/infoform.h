#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// The window that asks the user to wait while a drop is parsed and its pictures
// are fetched, with a button that gives up on the pictures still missing. It
// lives for the whole run and is only shown and hidden.
class TInfoForm : public QWidget
{
    Q_OBJECT

public:
    explicit TInfoForm(QWidget *parent = nullptr);

    // The language's caption of the Cancel button and its progress line, where
    // %1 is the pictures done and %2 all of them.
    void setTexts(const QString &cancelCaption, const QString &progressPattern);
    // Shows the window centred on the screen, in front, and paints it at once.
    void showWaiting();
    // "3 of 17 pictures"; an empty progress line when total is 0.
    void showProgress(int done, int total);

    QLabel *progressLabel() const { return m_progressLabel; }
    QPushButton *cancelButton() const { return CancelBtn; }

signals:
    // The user gave up waiting: the pictures not stored yet are left out.
    void cancelRequested();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QLabel *InfoLabel = nullptr;
    QLabel *m_progressLabel = nullptr;
    QPushButton *CancelBtn = nullptr;
    QString m_progressPattern;
};
