#include "syncsettingsform.h"

#include "programtext.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QFormLayout *formIn(QWidget *widget)
{
    auto *form = new QFormLayout(widget);
    form->setContentsMargins(0, 0, 0, 0);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    return form;
}

QLabel *noteLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

} // namespace

TSyncSettingsForm::TSyncSettingsForm(const SyncChoice &current, QWidget *parent)
    : QDialog(parent)
    , m_certificatePin(current.place.certificatePin)
    , m_initialTarget(current.place.target)
{
    setObjectName(QStringLiteral("SyncSettingsForm"));
    setWindowTitle(programText("Sync settings"));

    m_enabled = new QCheckBox(programText("Sync this collection with other computers"), this);
    m_enabled->setObjectName(QStringLiteral("SyncEnabled"));

    auto *where = new QGroupBox(programText("Where"), this);
    m_webDav = new QRadioButton(programText("A WebDAV server (Nextcloud, ownCloud, Apache and the like)"), where);
    m_webDav->setObjectName(QStringLiteral("SyncWebDav"));
    m_folderKind = new QRadioButton(programText("A folder that a file-sync program keeps in step"), where);
    m_folderKind->setObjectName(QStringLiteral("SyncFolderKind"));

    m_webDavFields = new QWidget(where);
    QFormLayout *webDavForm = formIn(m_webDavFields);
    m_address = new QLineEdit(m_webDavFields);
    m_address->setObjectName(QStringLiteral("SyncAddress"));
    m_address->setPlaceholderText(QStringLiteral("https://cloud.example.org/remote.php/dav/files/me/Clipnest"));
    m_user = new QLineEdit(current.place.user, m_webDavFields);
    m_user->setObjectName(QStringLiteral("SyncUser"));
    m_password = new QLineEdit(current.password, m_webDavFields);
    m_password->setObjectName(QStringLiteral("SyncPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    webDavForm->addRow(programText("Address:"), m_address);
    webDavForm->addRow(programText("User name:"), m_user);
    webDavForm->addRow(programText("Password:"), m_password);

    m_folderFields = new QWidget(where);
    auto *folderRow = new QHBoxLayout(m_folderFields);
    folderRow->setContentsMargins(0, 0, 0, 0);
    m_folder = new QLineEdit(m_folderFields);
    m_folder->setObjectName(QStringLiteral("SyncFolder"));
    m_folder->setPlaceholderText(QDir::homePath() + QStringLiteral("/Sync/Clipnest"));
    m_browse = new QPushButton(programText("Browse..."), m_folderFields);
    m_browse->setObjectName(QStringLiteral("SyncBrowse"));
    folderRow->addWidget(new QLabel(programText("Folder:"), m_folderFields));
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_browse);
    connect(m_browse, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, programText("Sync folder"), m_folder->text());
        if (!folder.isEmpty())
            m_folder->setText(QDir::toNativeSeparators(folder));
    });

    auto *whereLayout = new QVBoxLayout(where);
    whereLayout->addWidget(m_webDav);
    whereLayout->addWidget(m_webDavFields);
    whereLayout->addWidget(m_folderKind);
    whereLayout->addWidget(m_folderFields);

    auto *privacy = new QGroupBox(programText("Encryption"), this);
    QFormLayout *privacyForm = new QFormLayout(privacy);
    m_passphrase = new QLineEdit(current.passphrase, privacy);
    m_passphrase->setObjectName(QStringLiteral("SyncPassphrase"));
    m_passphrase->setEchoMode(QLineEdit::Password);
    m_repeat = new QLineEdit(current.passphrase, privacy);
    m_repeat->setObjectName(QStringLiteral("SyncRepeatPassphrase"));
    m_repeat->setEchoMode(QLineEdit::Password);
    privacyForm->addRow(noteLabel(programText("With a passphrase, every note, picture and attachment is encrypted "
                                              "before it leaves this computer. Without the passphrase nobody can read "
                                              "them, you neither: keep it safe."),
                                  privacy));
    privacyForm->addRow(programText("Passphrase:"), m_passphrase);
    privacyForm->addRow(programText("Repeat passphrase:"), m_repeat);

    m_minutes = new QSpinBox(this);
    m_minutes->setObjectName(QStringLiteral("SyncEveryMinutes"));
    m_minutes->setRange(0, 24 * 60);
    m_minutes->setSuffix(programText(" minutes"));
    m_minutes->setSpecialValueText(programText("only after saves and by hand"));
    m_minutes->setValue(current.place.everyMinutes);
    auto *timing = new QFormLayout;
    timing->addRow(programText("Sync by itself every:"), m_minutes);

    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("SyncProblem"));
    m_problem->setWordWrap(true);
    QPalette warning = m_problem->palette();
    warning.setColor(QPalette::WindowText, QColor(0xc0, 0x1c, 0x28));
    m_problem->setPalette(warning);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TSyncSettingsForm::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    layout->addWidget(where);
    layout->addWidget(privacy);
    layout->addLayout(timing);
    layout->addWidget(noteLabel(programText("The password and the passphrase are kept in the desktop's secret "
                                            "store, never in a file of Clipnest's."),
                                this));
    layout->addWidget(m_problem);
    layout->addWidget(buttons);

    const bool webDav = current.place.target.isEmpty() || SyncSettings::isWebDav(current.place.target);
    (webDav ? m_webDav : m_folderKind)->setChecked(true);
    (webDav ? m_address : m_folder)->setText(current.place.target);
    m_enabled->setChecked(!current.place.target.isEmpty());
    for (QRadioButton *kind : {m_webDav, m_folderKind})
        connect(kind, &QRadioButton::toggled, this, &TSyncSettingsForm::showKind);
    connect(m_enabled, &QCheckBox::toggled, where, &QWidget::setEnabled);
    connect(m_enabled, &QCheckBox::toggled, privacy, &QWidget::setEnabled);
    connect(m_enabled, &QCheckBox::toggled, m_minutes, &QWidget::setEnabled);
    where->setEnabled(m_enabled->isChecked());
    privacy->setEnabled(m_enabled->isChecked());
    m_minutes->setEnabled(m_enabled->isChecked());
    showKind();
    resize(qMax(560, sizeHint().width()), sizeHint().height());
    (m_enabled->isChecked() ? static_cast<QWidget *>(webDav ? m_address : m_folder) : m_enabled)->setFocus();
}

void TSyncSettingsForm::showKind()
{
    const bool webDav = m_webDav->isChecked();
    m_webDavFields->setEnabled(webDav);
    m_folderFields->setEnabled(!webDav);
}

SyncChoice TSyncSettingsForm::choice() const
{
    SyncChoice choice;
    if (m_enabled->isChecked()) {
        const bool webDav = m_webDav->isChecked();
        choice.place.target = webDav ? m_address->text().trimmed() : QDir::cleanPath(m_folder->text().trimmed());
        if (webDav) {
            choice.place.user = m_user->text();
            choice.password = m_password->text();
        }
        choice.passphrase = m_passphrase->text();
    }
    // A certificate accepted for one server is no reason to trust another's.
    if (choice.place.target == m_initialTarget)
        choice.place.certificatePin = m_certificatePin;
    choice.place.everyMinutes = m_minutes->value();
    return choice;
}

QString TSyncSettingsForm::problem() const
{
    if (!m_enabled->isChecked())
        return {};
    if (m_webDav->isChecked()) {
        const QUrl address(m_address->text().trimmed(), QUrl::StrictMode);
        if (!SyncSettings::isWebDav(m_address->text().trimmed()) || !address.isValid() || address.host().isEmpty())
            return programText("Enter the server's address, beginning with https:// or http://.");
    } else if (m_folder->text().trimmed().isEmpty() || !QDir::isAbsolutePath(m_folder->text().trimmed())) {
        return programText("Choose the folder to sync through.");
    }
    if (m_passphrase->text() != m_repeat->text())
        return programText("The two passphrases differ.");
    return {};
}

void TSyncSettingsForm::accept()
{
    const QString why = problem();
    m_problem->setText(why);
    if (why.isEmpty())
        QDialog::accept();
}
