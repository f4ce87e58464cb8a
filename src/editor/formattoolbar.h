#pragma once

#include <QList>
#include <QPointer>
#include <QToolBar>

class QComboBox;
class QFontComboBox;
class QTimer;
class QToolButton;
class TExWebBrowser;

// A tool button of the editor's toolbars: 28 by 28 pixels with a 24-pixel
// icon, or a short text where the theme has none.
QToolButton *makeToolButton(QToolBar *bar, const char *name, const QString &hint, const QIcon &icon,
                            const QString &fallbackText = QString());

// Makes pressed toggle buttons of a toolbar look clearly different from
// released ones, in light and dark palettes.
void showPressedToggles(QToolBar *bar);

// The editor's second toolbar: font, size, colours, the formatting toggles and
// the clipboard run editing commands on the note; the buttons that insert
// pictures, links and files, and search and print, only announce their click.
// The toggles show the formatting at the caret.
class FormatToolBar : public QToolBar
{
    Q_OBJECT

public:
    FormatToolBar(TExWebBrowser *content, QWidget *parent);

    // The controls that work only in edit mode.
    const QList<QWidget *> &editingControls() const { return m_editingControls; }
    // Reads the formatting at the caret again (it is also read after every
    // selection change and every command of this bar).
    void refreshCaretState();

protected:
    // Keys and clicks in the note move the caret without a notice from the engine.
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    void addImageClicked();
    void addLinkClicked();
    void addAttachClicked();
    void highlighterClicked();
    void pasteClicked();
    void propertiesClicked();
    void searchClicked();
    void printClicked();

private:
    QToolButton *colourButton(const char *name, const QString &hint, const char *command, const QColor &initial);
    QToolButton *commandButton(const char *name, const QString &hint, const QIcon &icon, const QString &fallback,
                               const char *commandName, bool toggle);
    void readCaretState();
    void showDocumentFontSize();

    TExWebBrowser *m_content;
    QFontComboBox *FontComboBox = nullptr;
    QComboBox *FontSizeComboBox = nullptr;
    // The toggles with the document command whose state each shows.
    QList<QPair<QPointer<QToolButton>, QString>> m_toggles;
    QList<QWidget *> m_editingControls;
    QTimer *m_caretTimer = nullptr;
};
