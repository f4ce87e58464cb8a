#include "interfacelanguage.h"

#include "appcontext.h"
#include "languagetranslator.h"
#include "menuentry.h"
#include "profilefile.h"
#include "settings.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>
#include <QTranslator>
#include <QTreeWidget>
#include <QWidget>

namespace {

enum Kind : unsigned {
    Pictures = 1 << 0,
    MenuEntries = 1 << 1,
    Labels = 1 << 2,
    ToolButtons = 1 << 3,
    TextFields = 1 << 4,
    Actions = 1 << 5,
    ColourButtons = 1 << 6,
    ListViews = 1 << 7,
    FieldHints = 1 << 8, // a text field's hint, where it shows no placeholder
};

void setColumnCaptions(QTreeWidget *list, const QString &value)
{
    QStringList captions;
    const qsizetype first = value.indexOf(QLatin1Char(','));
    if (list->objectName().compare(QLatin1String("notelistview"), Qt::CaseInsensitive) == 0) {
        captions << (first < 0 ? QString() : value.left(first)) << (first < 0 ? value : value.mid(first + 1));
    } else {
        const qsizetype second = first < 0 ? -1 : value.indexOf(QLatin1Char(','), first + 1);
        if (first < 0)
            captions << QString() << QString() << value;
        else if (second < 0)
            captions << value.left(first) << QString() << value.mid(first + 1);
        else
            captions << value.left(first) << value.mid(first + 1, second - first - 1) << value.mid(second + 1);
    }
    for (int column = 0; column < list->columnCount() && column < captions.size(); ++column)
        list->headerItem()->setText(column, captions[column]);
}

// Goes through the window's controls and components in creation order and gives
// each handled one the text of its key. Texts are shown as written.
void visit(QWidget *window, const ProfileContents &file, const QString &section, unsigned kinds)
{
    const QList<QObject *> all = window->findChildren<QObject *>();
    for (QObject *object : all) {
        const QString name = object->objectName();
        if (name.isEmpty())
            continue;
        const bool present = file.contains(section, name);
        const QString value = present ? file.readString(section, name, QString()) : QString();

        if (auto *action = qobject_cast<QAction *>(object)) {
            if (qobject_cast<QMenu *>(action->parent())) {
                if ((kinds & MenuEntries) && present)
                    setEntryText(action, value);
            } else if ((kinds & Actions) && present) {
                action->setText(literalCaption(value));
                action->setToolTip(value);
                action->setStatusTip(value);
            }
        } else if (auto *label = qobject_cast<QLabel *>(object)) {
            if (name == QLatin1String("LogoImage")) {
                if (kinds & Pictures)
                    label->setToolTip(present ? value : QStringLiteral("Drag & Drop anything to here!"));
            } else if ((kinds & Labels) && present) {
                label->setText(value);
            }
        } else if (auto *button = qobject_cast<QToolButton *>(object)) {
            const bool colour = button->property("colourButton").toBool();
            if (present && (kinds & (colour ? ColourButtons : ToolButtons))) {
                // The hint shows on hover and in the status bar alike, also after a switch,
                // when the button's action keeps the language it was started in.
                button->setToolTip(value);
                button->setStatusTip(value);
            }
        } else if (auto *field = qobject_cast<QLineEdit *>(object)) {
            if ((kinds & TextFields) && present) {
                field->setPlaceholderText(value);
                field->update();
            } else if ((kinds & FieldHints) && present) {
                field->setToolTip(value);
            }
        } else if (auto *box = qobject_cast<QComboBox *>(object)) {
            // The captions of the choices, in order, separated by commas.
            if ((kinds & TextFields) && present) {
                const QStringList captions = value.split(QLatin1Char(','));
                for (int i = 0; i < box->count() && i < captions.size(); ++i)
                    box->setItemText(i, captions[i]);
            }
        } else if (auto *list = qobject_cast<QTreeWidget *>(object)) {
            if ((kinds & ListViews) && list->property("languageColumns").toBool())
                setColumnCaptions(list, value);
        }
    }
}

} // namespace

InterfaceLanguage::InterfaceLanguage(AppContext &context)
    : m_context(context)
    , m_programTexts(std::make_unique<LanguageTranslator>())
    , m_qtTexts(std::make_unique<QTranslator>())
{
}

InterfaceLanguage::~InterfaceLanguage()
{
    QCoreApplication::removeTranslator(m_programTexts.get());
    QCoreApplication::removeTranslator(m_qtTexts.get());
}

QString InterfaceLanguage::filePath(const QString &fileName) const
{
    return m_context.programFolder + fileName;
}

void InterfaceLanguage::readMessages(const ProfileContents &file)
{
    for (const QString &key : MessageTexts::keys())
        m_context.messages.set(key, file.readString(QStringLiteral("String"), key, MessageTexts::builtInDefault(key)));
}

void InterfaceLanguage::installTranslations(const ProfileContents &file)
{
    QCoreApplication::removeTranslator(m_programTexts.get());
    QCoreApplication::removeTranslator(m_qtTexts.get());
    const QString locale = LanguageTranslator::qtLocale(file);
    if (!locale.isEmpty() &&
        m_qtTexts->load(QStringLiteral("qtbase_") + locale, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(m_qtTexts.get());
    // Installed last, so it is asked first.
    m_programTexts->load(file);
    QCoreApplication::installTranslator(m_programTexts.get());
}

void InterfaceLanguage::applyAtStart(QWidget *dropBox, QWidget *explorer)
{
    const ProfileContents file = ProfileContents::read(filePath(m_context.languageFileName));
    installTranslations(file);
    if (dropBox)
        visit(dropBox, file, QStringLiteral("DropForm"), Pictures | MenuEntries);
    if (explorer)
        visit(explorer, file, QStringLiteral("MainForm"),
              MenuEntries | Labels | ToolButtons | TextFields | Actions | ListViews);
    readMessages(file);
}

void InterfaceLanguage::switchLanguage(const QString &fileName, QWidget *dropBox, QWidget *explorer)
{
    m_context.languageFileName = fileName;
    Settings(m_context.programFolder).saveLanguageFileName(fileName);
    const ProfileContents file = ProfileContents::read(filePath(fileName));
    installTranslations(file);
    if (dropBox)
        visit(dropBox, file, QStringLiteral("DropForm"), Pictures | MenuEntries);
    if (explorer) {
        explorer->setWindowTitle(
            file.readString(QStringLiteral("MainForm"), QStringLiteral("Caption"), QLatin1String(ApplicationTitle)));
        visit(explorer, file, QStringLiteral("MainForm"), MenuEntries | Labels | ToolButtons | TextFields | ListViews);
    }
    readMessages(file);
}

void InterfaceLanguage::applyToEditor(QWidget *editor, const QString &fileName)
{
    if (fileName.toLower() == QLatin1String("en.ini"))
        return;
    const ProfileContents file = ProfileContents::read(filePath(fileName));
    editor->setWindowTitle(
        file.readString(QStringLiteral("EditorForm"), QStringLiteral("Caption"), QStringLiteral("Note editor")));
    visit(editor, file, QStringLiteral("EditorForm"), ColourButtons | Labels | ToolButtons | FieldHints | ListViews);
}
