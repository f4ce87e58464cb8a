#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

// The icon picker of the catalog: every catalog icon with its index.
class TSetIconForm : public QDialog
{
    Q_OBJECT

public:
    explicit TSetIconForm(QWidget *parent = nullptr);

    QListWidget *iconList() const { return IconListView; }
    // The chosen icon index, -1 when no item is selected.
    int selectedIndex() const;

private:
    QListWidget *IconListView = nullptr;
    QPushButton *OkBtn = nullptr;
};
