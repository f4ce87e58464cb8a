#pragma once

#include <QWidget>

#include <functional>

class TExWebBrowser;

// The place of the explorer's note view. Making a web view starts the web
// engine, which takes longer than the rest of the window, so the view is made
// at its first use, or once the window shows its catalog; until then the place
// is an empty page's white.
class NoteViewHolder : public QWidget
{
    Q_OBJECT

public:
    explicit NoteViewHolder(QWidget *parent = nullptr);

    // The view, made on the first call with an empty page loaded.
    TExWebBrowser *view();
    bool hasView() const { return m_view != nullptr; }

    // Set up a newly made view, before its empty page loads.
    std::function<void(TExWebBrowser *view)> setUpView;

private:
    TExWebBrowser *m_view = nullptr;
};
