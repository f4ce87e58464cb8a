#pragma once

#include <QLabel>

class QTreeWidget;
class QWidget;

// A short note over the explorer's note view while the catalog has no node at
// all: how to capture a first note. It takes the palette's colours and the
// interface language.
class EmptyCatalogHint : public QLabel
{
    Q_OBJECT

public:
    EmptyCatalogHint(QTreeWidget *catalog, QWidget *noteView);

    // Shows the hint when the catalog is empty and hides it otherwise.
    void refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void showTexts();
    void cover();

    QTreeWidget *m_catalog;
    QWidget *m_noteView;
};
