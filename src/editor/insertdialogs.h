#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// Asks for a picture: a web address or a local file, and an optional size.
class TAddImageForm : public QDialog
{
    Q_OBJECT

public:
    explicit TAddImageForm(QWidget *parent = nullptr);

    QLineEdit *urlEdit = nullptr;
    QLineEdit *WidthEdit = nullptr;
    QLineEdit *HeightEdit = nullptr;

    // The picture file chooser opens where it was last left, kept in the
    // settings file of that program folder.
    void rememberFolderIn(const QString &programFolder) { m_programFolder = programFolder; }

private:
    void opendirBtnClick();

    QString m_programFolder;
};

// Asks for a link: its address and the text it shows.
class TAddLinkForm : public QDialog
{
    Q_OBJECT

public:
    explicit TAddLinkForm(QWidget *parent = nullptr);

    QLineEdit *urlEdit = nullptr;
    QLineEdit *anchortextEdit = nullptr;
};

// The address a picture or link gets in the note: web addresses as they are,
// anything else as a local file address with forward slashes.
QString noteAddress(const QString &typed);
// The HTML inserted for a picture and for a link.
QString pictureHtml(const QString &address, const QString &width, const QString &height);
QString linkHtml(const QString &address, const QString &anchorText);
