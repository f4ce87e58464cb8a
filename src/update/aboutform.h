#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The About box: the version line, the product's web site and the update check.
// Created hidden at start-up; closing it only hides it.
class TaboutForm : public QDialog
{
    Q_OBJECT

public:
    // programFolder ends with "/"; the logo is read from there.
    explicit TaboutForm(const QString &programFolder, QWidget *parent = nullptr);

    int majorVersion() const { return m_major; }
    int minorVersion() const { return m_minor; }
    QString versionLine() const { return m_versionLine; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *Image1 = nullptr;
    QLabel *JvInstallLabel1 = nullptr;
    QLabel *verLabel = nullptr;
    QPushButton *okBtn = nullptr;
    QPushButton *UpdBtn = nullptr;

    QString m_versionLine;
    int m_major = 0;
    int m_minor = 0;
};
