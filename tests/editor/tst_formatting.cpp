#include "appcontext.h"
#include "dbdatamodule.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "fontfamilies.h"
#include "insertdialogs.h"
#include "testprogramfolder.h"

#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFontComboBox>
#include <QFontDatabase>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QRegularExpression>
#include <QToolButton>
#include <QtTest>

namespace {

struct Fixture
{
    TestProgramFolder folder;
    AppContext context{folder.path()};
    TDBDataModule database{folder.databasePath()};

    TEditorForm *editor()
    {
        auto *editor = new TEditorForm(context, database);
        editor->askYesNo = [](const QString &) { return true; };
        editor->showMessage = [](const QString &) {};
        editor->show();
        return editor;
    }

    QString todayFolder() const
    {
        return context.dataFolder + QDate::currentDate().toString(QStringLiteral("MM-dd-yyyy"));
    }
};

QToolButton *button(TEditorForm *editor, const char *name)
{
    return editor->findChild<QToolButton *>(QLatin1String(name));
}

void putCaretIn(TEditorForm *editor, const QString &id, int offset)
{
    editor->content()->RunScript(
        QStringLiteral("var text = document.getElementById('%1').firstChild;"
                       "var r = document.createRange(); r.setStart(text, %2); r.collapse(true);"
                       "getSelection().removeAllRanges(); getSelection().addRange(r); true")
            .arg(id)
            .arg(offset));
}

// Clicks into the text of an element, between its second and third letter.
void clickInto(TEditorForm *editor, const QString &id)
{
    const QVariantList box = editor->content()
                                 ->RunScript(QStringLiteral("(function (text) {"
                                                            "  var r = document.createRange();"
                                                            "  r.setStart(text, 1); r.setEnd(text, 2);"
                                                            "  var b = r.getBoundingClientRect();"
                                                            "  return [b.left + 1, b.top + b.height / 2];"
                                                            "})(document.getElementById('%1').firstChild)")
                                                 .arg(id))
                                 .toList();
    QWidget *surface = editor->content()->focusProxy() ? editor->content()->focusProxy() : editor->content();
    const QPoint at(qRound(box.value(0).toDouble()), qRound(box.value(1).toDouble()));
    QTest::mouseClick(surface, Qt::LeftButton, {}, surface->mapFrom(editor->content(), at));
}

// The toggles in toolbar order, each as pressed (1) or released (0).
QString toggleStates(TEditorForm *editor)
{
    QString states;
    for (const char *name : {"Bold", "Italic", "Underline", "Bullets", "Subscript", "Superscript"})
        states += button(editor, name)->isChecked() ? QLatin1Char('1') : QLatin1Char('0');
    return states;
}

QWidget *engineSurface(TEditorForm *editor)
{
    return editor->content()->focusProxy() ? editor->content()->focusProxy() : editor->content();
}

} // namespace

// The formatting toolbar and the note view as a person uses them.
class FormattingTest : public QObject
{
    Q_OBJECT

private slots:
    void togglesShowTheFormattingAtTheCaret_data();
    void togglesShowTheFormattingAtTheCaret();
    void togglesFollowTheKeyboard();
    void editModeButtonLooksDifferentWhenReleased();
    void clickSelectsThePictureAndPropertiesShowItsSize();
    void ctrlSSavesAndKeepsTheEditorOpen();
    void colourListsNameTheirColours();
    void fontsAreInstalledFamilies_data();
    void fontsAreInstalledFamilies();
};

void FormattingTest::togglesShowTheFormattingAtTheCaret_data()
{
    QTest::addColumn<QString>("element");
    QTest::addColumn<QString>("states");
    QTest::newRow("plain") << QStringLiteral("plain") << QStringLiteral("000000");
    QTest::newRow("bold") << QStringLiteral("b") << QStringLiteral("100000");
    QTest::newRow("italic in bold") << QStringLiteral("bi") << QStringLiteral("110000");
    QTest::newRow("underline") << QStringLiteral("u") << QStringLiteral("001000");
    QTest::newRow("bullet") << QStringLiteral("li") << QStringLiteral("000100");
    QTest::newRow("subscript") << QStringLiteral("sub") << QStringLiteral("000010");
    QTest::newRow("superscript") << QStringLiteral("sup") << QStringLiteral("000001");
}

void FormattingTest::togglesShowTheFormattingAtTheCaret()
{
    QFETCH(QString, element);
    QFETCH(QString, states);
    Fixture f;
    QPointer<TEditorForm> editor = f.editor();
    editor->PrefillFromCapture(
        QStringLiteral("<p><span id=\"plain\">plain words</span> <b id=\"b\">bold words</b> "
                       "<b><i id=\"bi\">both words</i></b> <u id=\"u\">under words</u> H<sub id=\"sub\">two</sub>O "
                       "x<sup id=\"sup\">two</sup></p><ul><li id=\"li\">an item</li></ul>"),
        QStringLiteral("Toggles"));
    // From somewhere else first, so that the state has to change.
    clickInto(editor, element == QLatin1String("b") ? QStringLiteral("u") : QStringLiteral("b"));
    QTRY_VERIFY(toggleStates(editor) != states);
    clickInto(editor, element);
    QTRY_COMPARE(toggleStates(editor), states);

    // A toggle pressed on a selection shows the new state at once.
    editor->content()->RunScript(QStringLiteral("var r = document.createRange();"
                                                "r.selectNodeContents(document.getElementById('plain'));"
                                                "getSelection().removeAllRanges(); getSelection().addRange(r); true"));
    button(editor, "Italic")->click();
    QTRY_COMPARE(toggleStates(editor), QStringLiteral("010000"));
    button(editor, "Italic")->click();
    QTRY_COMPARE(toggleStates(editor), QStringLiteral("000000"));
    delete editor;
}

void FormattingTest::togglesFollowTheKeyboard()
{
    Fixture f;
    QPointer<TEditorForm> editor = f.editor();
    editor->PrefillFromCapture(QStringLiteral("<p><b id=\"b\">ab</b>cd</p>"), QStringLiteral("Keys"));
    editor->activateWindow();
    editor->content()->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(editor));
    clickInto(editor, QStringLiteral("b"));
    QTRY_COMPARE(button(editor, "Bold")->isChecked(), true);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(engineSurface(editor), Qt::Key_Right);
    QTRY_COMPARE(button(editor, "Bold")->isChecked(), false);
    QTest::keyClick(engineSurface(editor), Qt::Key_Home);
    QTest::keyClick(engineSurface(editor), Qt::Key_Right);
    QTRY_COMPARE(button(editor, "Bold")->isChecked(), true);
    delete editor;
}

void FormattingTest::editModeButtonLooksDifferentWhenReleased()
{
    Fixture f;
    QPointer<TEditorForm> editor = f.editor();
    QToolButton *editMode = editor->editModeButton();
    const QImage pressed = editMode->grab().toImage();
    editor->setEditMode(false); // an empty note: nothing is saved
    QVERIFY(!editMode->isChecked());
    const QImage released = editMode->grab().toImage();
    QVERIFY(pressed != released);
    delete editor;
}

void FormattingTest::clickSelectsThePictureAndPropertiesShowItsSize()
{
    Fixture f;
    QPointer<TEditorForm> editor = f.editor();
    QImage picture(60, 40, QImage::Format_RGB32);
    picture.fill(QColor(30, 120, 200));
    QDir().mkpath(f.todayFolder() + QStringLiteral("/images"));
    QVERIFY(picture.save(f.todayFolder() + QStringLiteral("/images/blue.png")));
    editor->PrefillFromCapture(QStringLiteral("<p>before <img id=\"pic\" src=\"images/blue.png\"> after</p>"
                                              "<p><img id=\"sized\" src=\"images/blue.png\" width=\"30\"></p>"),
                               QStringLiteral("Pictures"));
    QTRY_VERIFY(editor->content()->RunScript(QStringLiteral("document.getElementById('pic').complete")).toBool());

    auto centreOf = [&](const char *id) {
        const QVariantList box = editor->content()
                                     ->RunScript(QStringLiteral("(function (e) { var r = e.getBoundingClientRect();"
                                                                "  return [r.left + r.width / 2, r.top + r.height / 2];"
                                                                "})(document.getElementById('%1'))")
                                                     .arg(QLatin1String(id)))
                                     .toList();
        return QPoint(qRound(box[0].toDouble()), qRound(box[1].toDouble()));
    };
    auto selected = [&] { return editor->content()->SelectedElement().value(QStringLiteral("attributes")).toMap(); };

    putCaretIn(editor, QStringLiteral("pic"), 0);
    QWidget *surface = engineSurface(editor);
    QTest::mouseClick(surface, Qt::LeftButton, {}, surface->mapFrom(editor->content(), centreOf("pic")));
    QTRY_COMPARE(selected().value(QStringLiteral("id")).toString(), QStringLiteral("pic"));

    QStringList shown;
    editor->runImageDialog = [&](TAddImageForm &dialog) {
        shown << dialog.WidthEdit->text() << dialog.WidthEdit->placeholderText() << dialog.HeightEdit->text()
              << dialog.HeightEdit->placeholderText();
        return true;
    };
    editor->PropertiesClick();
    // No size written: the picture's own size is shown, and nothing is written back.
    QCOMPARE(shown, QStringList({QString(), QStringLiteral("60"), QString(), QStringLiteral("40")}));
    QVERIFY(!editor->content()->BodyInnerHtml().contains(QStringLiteral("height=")));

    shown.clear();
    QTest::mouseClick(surface, Qt::LeftButton, {}, surface->mapFrom(editor->content(), centreOf("sized")));
    QTRY_COMPARE(selected().value(QStringLiteral("id")).toString(), QStringLiteral("sized"));
    editor->PropertiesClick();
    QCOMPARE(shown.value(0), QStringLiteral("30"));

    // Out of edit mode a click selects nothing as a whole.
    editor->content()->RunScript(QStringLiteral("getSelection().removeAllRanges(); true"));
    editor->content()->SetDesignMode(false);
    QTest::mouseClick(surface, Qt::LeftButton, {}, surface->mapFrom(editor->content(), centreOf("pic")));
    QTest::qWait(300);
    QVERIFY(editor->content()->RunScript(QStringLiteral("getSelection().rangeCount")).toInt() == 0 ||
            selected().value(QStringLiteral("id")).toString() != QLatin1String("pic"));
    delete editor;
}

void FormattingTest::ctrlSSavesAndKeepsTheEditorOpen()
{
    Fixture f;
    QPointer<TEditorForm> editor = f.editor();
    editor->PrefillFromCapture(QStringLiteral("<p>kept open</p>"), QStringLiteral("Saved by keyboard"));
    editor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(editor));
    editor->titleEdit()->setFocus();
    QTest::keyClick(editor->titleEdit(), Qt::Key_S, Qt::ControlModifier);
    QTRY_COMPARE(f.database.queryInteger(QStringLiteral("select count(*) from note")), 1);
    QVERIFY(editor && editor->isVisible());
    QVERIFY(editor->noteId() != 0);
    delete editor;
}

void FormattingTest::colourListsNameTheirColours()
{
    Fixture f;
    QPointer<TEditorForm> editor = f.editor();
    const QRegularExpression code(QStringLiteral("#[0-9a-fA-F]{6}"));
    for (const char *name : {"FgColorBtn", "BgColorBtn"}) {
        const QList<QAction *> entries = button(editor, name)->menu()->actions();
        QVERIFY(entries.size() > 8);
        QCOMPARE(entries.first()->text(), QStringLiteral("Black"));
        for (QAction *entry : entries) {
            if (entry->isSeparator())
                continue;
            QVERIFY2(!entry->text().contains(code), qPrintable(entry->text()));
            QVERIFY(!entry->text().isEmpty());
        }
        QVERIFY(!entries.first()->icon().isNull());
    }
    delete editor;
}

void FormattingTest::fontsAreInstalledFamilies_data()
{
    QTest::addColumn<QString>("specified");
    QTest::newRow("Tahoma") << QStringLiteral("Tahoma");
    QTest::newRow("Trebuchet MS") << QStringLiteral("Trebuchet MS");
    QTest::newRow("Microsoft JhengHei") << QStringLiteral("Microsoft JhengHei");
}

void FormattingTest::fontsAreInstalledFamilies()
{
    QFETCH(QString, specified);
    const QString family = closestInstalledFamily(specified);
    QVERIFY2(QFontDatabase::families().contains(family), qPrintable(family));
    if (QFontDatabase::families().contains(specified))
        QCOMPARE(family, specified);

    Fixture f;
    QPointer<TEditorForm> editor = f.editor();
    // What the font list shows is a font that is drawn, not a silent stand-in.
    const QString shown = editor->findChild<QFontComboBox *>(QStringLiteral("FontComboBox"))->currentFont().family();
    QCOMPARE(shown, closestInstalledFamily(QStringLiteral("Microsoft JhengHei")));
    QVERIFY(QFontDatabase::families().contains(editor->font().family()));
    if (specified == QLatin1String("Microsoft JhengHei"))
        QVERIFY(QFontDatabase::writingSystems(family).contains(QFontDatabase::TraditionalChinese));
    // The size list shows the size of the note's own text (14 pixels, about 10 points), not 8.
    QTRY_COMPARE(editor->findChild<QComboBox *>(QStringLiteral("FontSizeComboBox"))->currentText(),
                 QStringLiteral("10"));
    delete editor;
}

CLIPNEST_TEST_MAIN(FormattingTest)
#include "tst_formatting.moc"
