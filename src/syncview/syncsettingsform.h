#pragma once

#include "syncsettings.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QWidget;

// What the sync settings window was left with.
struct SyncChoice
{
    SyncPlace place; // an empty target: sync is off
    QString password;
    QString passphrase;
};

// File → "Sync settings...": whether and where this collection syncs (a
// WebDAV server with its user name and password, or a folder that a
// file-sync tool keeps in step), an optional passphrase that encrypts what
// leaves the computer, and how often to sync by itself. The window only
// gathers the choice; keeping it is the caller's.
class TSyncSettingsForm : public QDialog
{
    Q_OBJECT

public:
    TSyncSettingsForm(const SyncChoice &current, QWidget *parent = nullptr);

    SyncChoice choice() const;

    // Accepts when the choice is complete; otherwise says what is missing
    // beside the buttons and keeps the window open.
    void accept() override;

    QLabel *problemLabel() const { return m_problem; }

private:
    void showKind();
    QString problem() const;

    QCheckBox *m_enabled = nullptr;
    QRadioButton *m_webDav = nullptr;
    QRadioButton *m_folderKind = nullptr;
    QWidget *m_webDavFields = nullptr;
    QWidget *m_folderFields = nullptr;
    QLineEdit *m_address = nullptr;
    QLineEdit *m_user = nullptr;
    QLineEdit *m_password = nullptr;
    QLineEdit *m_folder = nullptr;
    QPushButton *m_browse = nullptr;
    QLineEdit *m_passphrase = nullptr;
    QLineEdit *m_repeat = nullptr;
    QSpinBox *m_minutes = nullptr;
    QLabel *m_problem = nullptr;
    QString m_certificatePin;
    QString m_initialTarget;
};
