#pragma once

#include <QFrame>

class QLabel;
class QLineEdit;
class QToolButton;
class QWebEngineFindTextResult;
class QWebEngineView;

// A small find-in-page bar that sits over the top-right corner of an HTML view.
// Typing searches as you type, Enter finds the next match (Shift+Enter the
// previous one), Escape or the close button hides the bar. When the view
// shows another page the bar searches it anew; on a blank view it goes.
class FindBar : public QFrame
{
    Q_OBJECT

public:
    explicit FindBar(QWebEngineView *view);

    // Shows the bar with its text selected and the focus in it.
    void Open();
    // Hides the bar, clears the highlighted matches and gives the view the focus.
    void Close();
    void FindNext();
    void FindPrevious();

    QString Text() const;
    void SetText(const QString &text);
    // The last search found nothing for a non-empty text.
    bool NotFound() const { return m_notFound; }
    int Matches() const { return m_matches; }
    int ActiveMatch() const { return m_activeMatch; }

signals:
    void searched(int activeMatch, int matches);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // The texts follow the interface language.
    void changeEvent(QEvent *event) override;

private:
    void Find(bool backward, bool newText);
    // Hides the bar and forgets the search's result, leaving the focus where it is.
    void Dismiss();
    void ShowResult(const QWebEngineFindTextResult &result);
    void ClearResult();
    void ShowTexts();
    void PlaceInView();

    QWebEngineView *m_view;
    QLineEdit *m_textEdit;
    QLabel *m_statusLabel;
    QToolButton *m_previousButton;
    QToolButton *m_nextButton;
    QToolButton *m_closeButton;
    bool m_notFound = false;
    int m_matches = 0;
    int m_activeMatch = 0;
    int m_lastRequest = 0;
};
