#include "insertdialogs.h"

#include "programtext.h"
#include "rememberedfolder.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace {

// A double quote would end the attribute early and break the rest of the note.
QString attributeValue(QString text)
{
    return text.replace(QLatin1Char('"'), QLatin1String("&quot;"));
}

QHBoxLayout *buttonRow(QDialog *dialog, const QString &ok, const QString &cancel)
{
    auto *row = new QHBoxLayout;
    row->addStretch();
    auto *okBtn = new QPushButton(ok, dialog);
    okBtn->setObjectName(QStringLiteral("okBtn"));
    okBtn->setDefault(true);
    auto *cancelBtn = new QPushButton(cancel, dialog);
    cancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    QObject::connect(okBtn, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancelBtn, &QPushButton::clicked, dialog, &QDialog::reject);
    row->addWidget(okBtn);
    row->addWidget(cancelBtn);
    return row;
}

} // namespace

TAddImageForm::TAddImageForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("AddImageForm"));
    setWindowTitle(programText("Insert Image"));
    setFixedSize(374, 198);
    auto *layout = new QGridLayout(this);
    // The example names a place on this system; word joiners keep the path on one line.
    QString example = QDir::toNativeSeparators(QDir::homePath() + QStringLiteral("/xxx"));
    example.replace(QLatin1Char('/'), QStringLiteral("/\u2060"));
    auto *urlLabel =
        new QLabel(programText("Input image url or local directory: (eg: http://xxx or %1)").arg(example), this);
    urlLabel->setObjectName(QStringLiteral("urlLabel"));
    urlLabel->setWordWrap(true);
    urlEdit = new QLineEdit(this);
    urlEdit->setObjectName(QStringLiteral("urlEdit"));
    urlEdit->setFixedWidth(296);
    auto *opendirBtn = new QToolButton(this);
    opendirBtn->setObjectName(QStringLiteral("opendirBtn"));
    opendirBtn->setIcon(QIcon::fromTheme(QStringLiteral("document-open")));
    connect(opendirBtn, &QToolButton::clicked, this, &TAddImageForm::opendirBtnClick);
    auto *widthLabel = new QLabel(programText("Width:"), this);
    widthLabel->setObjectName(QStringLiteral("widthLabel"));
    WidthEdit = new QLineEdit(this);
    WidthEdit->setObjectName(QStringLiteral("WidthEdit"));
    WidthEdit->setFixedWidth(64);
    auto *heightlabel = new QLabel(programText("Height:"), this);
    heightlabel->setObjectName(QStringLiteral("heightlabel"));
    HeightEdit = new QLineEdit(this);
    HeightEdit->setObjectName(QStringLiteral("HeightEdit"));
    HeightEdit->setFixedWidth(64);

    layout->addWidget(urlLabel, 0, 0, 1, 4);
    layout->addWidget(urlEdit, 1, 0, 1, 3);
    layout->addWidget(opendirBtn, 1, 3);
    layout->addWidget(widthLabel, 2, 0);
    layout->addWidget(WidthEdit, 2, 1);
    layout->addWidget(heightlabel, 3, 0);
    layout->addWidget(HeightEdit, 3, 1);
    layout->addLayout(buttonRow(this, programText("ok"), programText("cancel")), 4, 0, 1, 4);
}

void TAddImageForm::opendirBtnClick()
{
    const bool remembers = !m_programFolder.isEmpty();
    const RememberedFolder lastFolder(m_programFolder, QStringLiteral("image"));
    const QString file = QFileDialog::getOpenFileName(this, windowTitle(), remembers ? lastFolder.folder() : QString(),
                                                      programText("image file (*.jpg *.jpeg *.bmp *.gif *.png)"));
    if (file.isEmpty())
        return;
    if (remembers)
        lastFolder.rememberFileIn(file);
    urlEdit->setText(file);
}

TAddLinkForm::TAddLinkForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("AddLinkForm"));
    setWindowTitle(programText("Add HyperLink"));
    setFixedSize(354, 220);
    auto *layout = new QGridLayout(this);
    auto *UrlLabel = new QLabel(programText("Input URL:"), this);
    UrlLabel->setObjectName(QStringLiteral("UrlLabel"));
    urlEdit = new QLineEdit(this);
    urlEdit->setObjectName(QStringLiteral("urlEdit"));
    urlEdit->setFixedWidth(296);
    auto *atextLabel = new QLabel(programText("Input anchor text:"), this);
    atextLabel->setObjectName(QStringLiteral("atextLabel"));
    anchortextEdit = new QLineEdit(this);
    anchortextEdit->setObjectName(QStringLiteral("anchortextEdit"));
    anchortextEdit->setFixedWidth(296);
    layout->addWidget(UrlLabel, 0, 0);
    layout->addWidget(urlEdit, 1, 0);
    layout->addWidget(atextLabel, 2, 0);
    layout->addWidget(anchortextEdit, 3, 0);
    layout->setRowStretch(4, 1);
    layout->addLayout(buttonRow(this, programText("Ok"), programText("Cancel")), 5, 0);
}

QString noteAddress(const QString &typed)
{
    if (typed.startsWith(QLatin1String("http://")) || typed.startsWith(QLatin1String("https://")))
        return typed;
    QString local = typed;
    local.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // A file name may hold characters that would end or escape the address.
    local.replace(QLatin1Char('%'), QLatin1String("%25"));
    local.replace(QLatin1Char('#'), QLatin1String("%23"));
    local.replace(QLatin1Char('?'), QLatin1String("%3F"));
    // A path from this system starts with "/" already; the address needs three.
    if (local.startsWith(QLatin1Char('/')))
        local.remove(0, 1);
    return QStringLiteral("file:///") + local;
}

QString pictureHtml(const QString &address, const QString &width, const QString &height)
{
    QString html = QStringLiteral("<img src=\"") + attributeValue(address) + QStringLiteral("\" ");
    if (!width.isEmpty())
        html += QStringLiteral(" width=\"") + attributeValue(width) + QStringLiteral("\" ");
    if (!height.isEmpty())
        html += QStringLiteral(" height=\"") + attributeValue(height) + QStringLiteral("\" ");
    return html + QStringLiteral(" />");
}

QString linkHtml(const QString &address, const QString &anchorText)
{
    return QStringLiteral("<a href=\"") + attributeValue(address) + QStringLiteral("\" target=\"_blank\" />") +
           anchorText + QStringLiteral("</a>");
}
