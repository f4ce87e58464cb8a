#pragma once

#include <QWidget>

class QLabel;

// The address the shown note was captured from, on one slim line above the
// note: a web address opens in the browser. Hidden for a note without one.
class NoteSourceLine : public QWidget
{
    Q_OBJECT

public:
    explicit NoteSourceLine(QWidget *parent = nullptr);

    void setAddress(const QString &address);
    const QString &address() const { return m_address; }
    // The part of the line that shows the address, for tests.
    QLabel *addressLabel() const { return m_link; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void showAddress();

    QString m_address;
    QLabel *m_caption = nullptr;
    QLabel *m_link = nullptr;
};
