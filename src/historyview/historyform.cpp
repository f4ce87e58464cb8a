#include "historyform.h"

#include "appcontext.h"
#include "exwebbrowser.h"
#include "markedversionpage.h"
#include "notefilereplace.h"
#include "programtext.h"
#include "wholefile.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <optional>
#include <stdexcept>

namespace {

constexpr int VersionIndexRole = Qt::UserRole;

QString sizeText(qint64 bytes)
{
    // Whole kilobytes, rounded up: a short note is not "0 KB".
    return programText("%1 KB").arg((bytes + 1023) / 1024);
}

QString timeText(const QDateTime &time)
{
    return QLocale::c().toString(time.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

THistoryForm::THistoryForm(const AppContext &context, int noteId, const QString &notePath, const QString &title,
                           QWidget *parent)
    : QDialog(parent)
    , m_context(context)
    , m_noteId(noteId)
    , m_notePath(notePath)
{
    setObjectName(QStringLiteral("HistoryForm"));
    setWindowTitle(programText("History of \"%1\"").arg(title));
    resize(980, 620);
    showMessage = [this](const QString &message) {
        QMessageBox::warning(this, QLatin1String(ApplicationTitle), message);
    };

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("VersionList"));
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({programText("Saved"), programText("Size")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_list->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_list->header()->setStretchLastSection(false);
    m_list->setMinimumWidth(240);
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this] { showChosen(); });

    m_legend = new QLabel(programText("Green and underlined: added since this version. "
                                      "Red and struck through: no longer in the note."),
                          this);
    m_legend->setObjectName(QStringLiteral("HistoryLegend"));
    m_legend->setWordWrap(true);
    m_view = new TExWebBrowser(this);
    m_view->setObjectName(QStringLiteral("VersionView"));
    auto *versionPane = new QWidget(this);
    auto *versionLayout = new QVBoxLayout(versionPane);
    versionLayout->setContentsMargins(0, 0, 0, 0);
    versionLayout->addWidget(m_legend);
    versionLayout->addWidget(m_view, 1);

    m_empty = new QLabel(programText("No earlier versions"), this);
    m_empty->setObjectName(QStringLiteral("NoVersionsLabel"));
    m_empty->setAlignment(Qt::AlignCenter);
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(m_empty);
    m_pages->addWidget(versionPane);

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(m_list);
    splitter->addWidget(m_pages);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 720});

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("HistoryStatus"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *buttons = new QDialogButtonBox(this);
    m_restore = buttons->addButton(programText("Restore this version"), QDialogButtonBox::AcceptRole);
    m_restore->setObjectName(QStringLiteral("RestoreVersionBtn"));
    m_restore->setIcon(QIcon::fromTheme(QStringLiteral("document-revert")));
    // Enter restores: the text it replaces stays a version, so it can be had back.
    m_restore->setDefault(true);
    QPushButton *close = buttons->addButton(programText("Close"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("CloseHistoryBtn"));
    close->setAutoDefault(false);
    connect(m_restore, &QPushButton::clicked, this, [this] { restoreChosen(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addWidget(m_status);
    layout->addWidget(buttons);

    refresh();
    m_list->setFocus();
}

THistoryForm::~THistoryForm() = default;

void THistoryForm::refresh()
{
    const NoteVersion *chosen = chosenVersion();
    const std::optional<NoteVersion> wasChosen = chosen ? std::optional<NoteVersion>(*chosen) : std::nullopt;
    QFile current(m_notePath);
    m_currentText = current.open(QIODevice::ReadOnly) ? QString::fromUtf8(current.readAll()) : QString();
    m_versions = NoteHistory(m_context.dataFolder, m_noteId).versions();

    const QSignalBlocker quiet(m_list);
    m_list->clear();
    QTreeWidgetItem *toChoose = nullptr;
    for (qsizetype i = 0; i < m_versions.size(); ++i) {
        const NoteVersion &version = m_versions.at(i);
        auto *item = new QTreeWidgetItem(m_list);
        item->setText(0, timeText(version.time));
        item->setText(1, sizeText(version.size));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(0, VersionIndexRole, i);
        if (wasChosen && version.hash == wasChosen->hash && version.time == wasChosen->time)
            toChoose = item;
    }
    if (!toChoose)
        toChoose = m_list->topLevelItem(0);
    m_list->setCurrentItem(toChoose);
    m_pages->setCurrentWidget(m_versions.isEmpty() ? static_cast<QWidget *>(m_empty) : m_pages->widget(1));
    showChosen();
}

const NoteVersion *THistoryForm::chosenVersion() const
{
    const QTreeWidgetItem *item = m_list ? m_list->currentItem() : nullptr;
    if (!item)
        return nullptr;
    const qsizetype index = item->data(0, VersionIndexRole).toLongLong();
    return index >= 0 && index < m_versions.size() ? &m_versions.at(index) : nullptr;
}

void THistoryForm::showChosen()
{
    m_shownPage.clear();
    m_restore->setEnabled(false);
    const NoteVersion *version = chosenVersion();
    if (!version) {
        m_view->Navigate(QStringLiteral("about:blank"));
        return;
    }
    QString problem;
    try {
        const QString versionHtml = QString::fromUtf8(NoteHistory(m_context.dataFolder, m_noteId).text(*version));
        const QString page = markedVersionPage(versionHtml, m_currentText, QFileInfo(m_notePath).absolutePath());
        const QString pagePath = m_pageFolder.filePath(QStringLiteral("version.html"));
        problem = m_pageFolder.isValid() ? writeWholeFile(pagePath, page.toUtf8())
                                         : QStringLiteral("no temporary folder for the page");
        if (problem.isEmpty()) {
            m_shownPage = page;
            m_view->Navigate(pagePath);
            m_restore->setEnabled(true);
        }
    } catch (const std::runtime_error &error) {
        problem = QString::fromUtf8(error.what());
    }
    if (!problem.isEmpty()) {
        // A damaged copy is shown as such; the others and the note stay as they are.
        m_view->Navigate(QStringLiteral("about:blank"));
        m_status->setText(programText("This version cannot be shown: %1").arg(problem));
    } else {
        m_status->clear();
    }
}

bool THistoryForm::restoreChosen()
{
    const NoteVersion *chosen = chosenVersion();
    if (!chosen || !m_restore->isEnabled())
        return false;
    const NoteVersion version = *chosen;
    // The text it replaces is kept even while history is off: a restore never loses a text.
    HistoryKeeping keeping = m_context.history;
    keeping.enabled = true;
    const QString problem = restoreNoteVersion(m_context.dataFolder, m_noteId, m_notePath, version, keeping);
    if (!problem.isEmpty()) {
        showMessage(programText("The version could not be restored; the note is unchanged:\n%1").arg(problem));
        return false;
    }
    refresh();
    m_status->setText(programText("The version saved %1 is the note's text again; the text it replaced is kept as "
                                  "a version.")
                          .arg(timeText(version.time)));
    emit versionRestored(m_noteId);
    return true;
}

THistoryForm *showNoteHistory(const AppContext &context, int noteId, const QString &notePath, const QString &title,
                              QWidget *parent)
{
    auto *form = new THistoryForm(context, noteId, notePath, title, parent);
    form->setAttribute(Qt::WA_DeleteOnClose);
    // Nothing else may change the note while a version of it is being chosen.
    form->setWindowModality(Qt::ApplicationModal);
    form->show();
    return form;
}
