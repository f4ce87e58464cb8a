#include "menuentry.h"

#include <QAction>
#include <QVariant>

namespace {

const char OwnTextProperty[] = "clipnestOwnText";

QString captionWithShortcut(const QString &text, const QKeySequence &shortcut)
{
    if (shortcut.isEmpty())
        return text;
    return text + QLatin1Char('\t') + shortcut.toString(QKeySequence::NativeText);
}

} // namespace

QAction *menuEntryFor(QAction *action, const QString &name, QObject *parent)
{
    auto *entry = new QAction(parent);
    entry->setObjectName(name);
    auto follow = [entry, action] {
        const QString own = entry->property(OwnTextProperty).toString();
        entry->setText(captionWithShortcut(own.isEmpty() ? action->text() : own, action->shortcut()));
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
    auto *action = qobject_cast<QAction *>(entry->property("clipnestFollow").value<QObject *>());
    if (action)
        entry->setText(captionWithShortcut(text, action->shortcut()));
    else
        entry->setText(text);
    if (entry->isSeparator() && text != QLatin1String("-"))
        entry->setSeparator(false);
}

QAction *namedSeparator(const QString &name, QObject *parent)
{
    auto *separator = new QAction(parent);
    separator->setObjectName(name);
    separator->setSeparator(true);
    return separator;
}
