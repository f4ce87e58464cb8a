#include "deletequestion.h"

#include "appcontext.h"

#include <QMessageBox>

bool askYesNoDefaultNo(QWidget *parent, const QString &question)
{
    return QMessageBox::question(parent, QLatin1String(ApplicationTitle), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}
