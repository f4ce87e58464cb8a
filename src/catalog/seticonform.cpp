#include "seticonform.h"

#include "programtext.h"
#include "tagtreeview.h"

#include <QListWidget>
#include <QPushButton>

TSetIconForm::TSetIconForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("SetIconForm"));
    setWindowTitle(programText("Select icon"));
    setFixedSize(404, 355);

    IconListView = new QListWidget(this);
    IconListView->setObjectName(QStringLiteral("IconListView"));
    IconListView->setGeometry(8, 8, 388, 297);
    IconListView->setViewMode(QListView::IconMode);
    IconListView->setIconSize(QSize(32, 32));
    // Room for a name of two short lines under each icon.
    IconListView->setGridSize(QSize(88, 72));
    IconListView->setWordWrap(true);
    IconListView->setTextElideMode(Qt::ElideNone);
    IconListView->setResizeMode(QListView::Adjust);
    IconListView->setMovement(QListView::Static);
    IconListView->setFrameShape(QFrame::StyledPanel);
    for (int index = 0; index < TagTreeView::IconCount; ++index)
        new QListWidgetItem(TagTreeView::catalogIcon(index), TagTreeView::catalogIconCaption(index), IconListView);

    OkBtn = new QPushButton(programText("Ok"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    OkBtn->setGeometry(321, 318, 75, 27);
    OkBtn->setDefault(true);
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(IconListView, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

int TSetIconForm::selectedIndex() const
{
    const QList<QListWidgetItem *> selected = IconListView->selectedItems();
    return selected.isEmpty() ? -1 : IconListView->row(selected.first());
}
