#include "menuentry.h"

#include <QAction>
#include <QVariant>

namespace {

const char OwnTextProperty[] = "clipnestOwnText";
const QLatin1String SeparatorText("-");

QString captionWithShortcut(const QString &caption, const QKeySequence &shortcut)
{
    if (shortcut.isEmpty())
        return caption;
    return caption + QLatin1Char('\t') + shortcut.toString(QKeySequence::NativeText);
}

} // namespace

QString literalCaption(const QString &text)
{
    QString caption = text;
    return caption.replace(QLatin1Char('&'), QLatin1String("&&"));
}

QAction *menuEntryFor(QAction *action, const QString &name, QObject *parent)
{
    auto *entry = new QAction(parent);
    entry->setObjectName(name);
    auto follow = [entry, action] {
        const QString own = entry->property(OwnTextProperty).toString();
        if (!entry->isSeparator()) {
            // The action's caption is already a caption; the entry's own text is literal.
            entry->setText(
                captionWithShortcut(own.isEmpty() ? action->text() : literalCaption(own), action->shortcut()));
        }
        entry->setIcon(action->icon());
        entry->setEnabled(action->isEnabled());
        entry->setStatusTip(action->statusTip());
        entry->setCheckable(action->isCheckable());
        entry->setChecked(action->isChecked());
    };
    follow();
    QObject::connect(action, &QAction::changed, entry, follow);
    QObject::connect(entry, &QAction::triggered, action, &QAction::trigger);
    entry->setProperty("clipnestFollow", QVariant::fromValue(static_cast<QObject *>(action)));
    return entry;
}

void setEntryText(QAction *entry, const QString &text)
{
    entry->setProperty(OwnTextProperty, text);
    if (text == SeparatorText) {
        // A separator shows no text: some styles draw a separator's text as a heading.
        entry->setText(QString());
        entry->setSeparator(true);
        return;
    }
    entry->setSeparator(false);
    auto *action = qobject_cast<QAction *>(entry->property("clipnestFollow").value<QObject *>());
    entry->setText(captionWithShortcut(literalCaption(text), action ? action->shortcut() : QKeySequence()));
}

QAction *namedSeparator(const QString &name, QObject *parent)
{
    auto *separator = new QAction(parent);
    separator->setObjectName(name);
    separator->setSeparator(true);
    return separator;
}
