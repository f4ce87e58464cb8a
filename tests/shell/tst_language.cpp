#include "dropform.h"
#include "editorform.h"
#include "interfacelanguage.h"
#include "mainform.h"
#include "startup.h"
#include "testprogramfolder.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QString headers(const QTreeWidget *list)
{
    QStringList captions;
    for (int column = 0; column < list->columnCount(); ++column)
        captions << list->headerItem()->text(column);
    return captions.join(QLatin1Char('|'));
}

QString entryText(QWidget *window, const char *name)
{
    return window->findChild<QAction *>(QLatin1String(name))->text().section(QLatin1Char('\t'), 0, 0);
}

} // namespace

class LanguageTest : public QObject
{
    Q_OBJECT

private slots:
    void chineseAtStartLabelsEverything();
    void switchingChangesCaptionAndLaterEditorsOnly();
    void englishEditorsKeepTheirBuiltInTexts();
    void listColumnsFollowTheCommaRule();
};

void LanguageTest::chineseAtStartLabelsEverything()
{
    TestProgramFolder folder;
    writeFile(folder.path() + QStringLiteral("tavlo.ini"), "[Tavlo]\r\nlang=cn.ini\r\n");
    ClipnestProgram program(folder.path());
    program.bringUp();
    TMainForm *explorer = program.explorer();
    QCOMPARE(entryText(explorer, "FileMenu"), QStringLiteral("文件"));
    QCOMPARE(entryText(explorer, "addnewnote1"), QStringLiteral("新建笔记"));
    QCOMPARE(explorer->findChild<QLineEdit *>(QStringLiteral("qtreeEdit"))->placeholderText(),
             QStringLiteral("快速定位节点"));
    QCOMPARE(explorer->findChild<QToolButton *>(QStringLiteral("addNote"))->toolTip(), QStringLiteral("新建笔记"));
    QCOMPARE(headers(explorer->attachList()), QStringLiteral("附件文件名|路径|文件大小"));
    QCOMPARE(entryText(program.dropBox(), "Exit1"), QStringLiteral("退出"));
    QCOMPARE(program.dropBox()->logoImage()->toolTip(), QStringLiteral("把任何内容拖放到这里！"));
    QCOMPARE(program.context().messages.text(QStringLiteral("CannotDelTag")),
             QStringLiteral("节点下还有子节点或笔记，不能删除。"));

    TEditorForm *editor = program.newEditor();
    QCOMPARE(editor->windowTitle(), QStringLiteral("笔记编辑器"));
    QCOMPARE(editor->findChild<QLabel *>(QStringLiteral("TitleLabel"))->text(), QStringLiteral("标题："));
    QCOMPARE(editor->findChild<QToolButton *>(QStringLiteral("Bold"))->toolTip(), QStringLiteral("粗体"));
    QCOMPARE(editor->findChild<QToolButton *>(QStringLiteral("FgColorBtn"))->toolTip(), QStringLiteral("前景色"));
    delete editor;
}

void LanguageTest::switchingChangesCaptionAndLaterEditorsOnly()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    TEditorForm *before = program.newEditor();

    program.explorer()->findChild<QAction *>(QStringLiteral("ChineseAct"))->trigger();
    QCOMPARE(program.explorer()->windowTitle(), QStringLiteral("Clipnest 笔记"));
    QCOMPARE(entryText(program.explorer(), "Exit1"), QStringLiteral("退出"));
    QCOMPARE(entryText(program.dropBox(), "Addnewnote1"), QStringLiteral("新建笔记"));
    QCOMPARE(program.context().messages.text(QStringLiteral("AddTagCaption")), QStringLiteral("添加节点？"));
    QVERIFY(QFile(folder.path() + QStringLiteral("tavlo.ini")).open(QIODevice::ReadOnly));
    QCOMPARE(program.context().languageFileName, QStringLiteral("cn.ini"));
    // Actions keep their captions until the next start.
    QCOMPARE(program.explorer()->findChild<QAction *>(QStringLiteral("ExitAct"))->text(), QStringLiteral("Exit"));

    TEditorForm *after = program.newEditor();
    QCOMPARE(before->windowTitle(), QStringLiteral("Note editor"));
    QCOMPARE(after->windowTitle(), QStringLiteral("笔记编辑器"));

    program.explorer()->findChild<QAction *>(QStringLiteral("EnglishAct"))->trigger();
    QCOMPARE(program.explorer()->windowTitle(), QStringLiteral("Clipnest"));
    QCOMPARE(after->windowTitle(), QStringLiteral("笔记编辑器"));
    delete before;
    delete after;
}

void LanguageTest::englishEditorsKeepTheirBuiltInTexts()
{
    TestProgramFolder folder;
    writeFile(folder.path() + QStringLiteral("en.ini"), "[EditorForm]\r\nCaption=Changed\r\nTitleLabel=Changed\r\n");
    ClipnestProgram program(folder.path());
    program.bringUp();
    TEditorForm *editor = program.newEditor();
    QCOMPARE(editor->windowTitle(), QStringLiteral("Note editor"));
    QCOMPARE(editor->findChild<QLabel *>(QStringLiteral("TitleLabel"))->text(), QStringLiteral("Title:"));
    delete editor;
    // A file without the String section gives the built-in message texts.
    QCOMPARE(program.context().messages.text(QStringLiteral("LoadNoteFail")),
             QStringLiteral("Try to loading note failed!"));
}

void LanguageTest::listColumnsFollowTheCommaRule()
{
    TestProgramFolder folder;
    writeFile(folder.path() + QStringLiteral("tavlo.ini"), "[Tavlo]\r\nlang=xx.ini\r\n");
    writeFile(folder.path() + QStringLiteral("xx.ini"), "[MainForm]\r\nAttachList=Only\r\n");
    ClipnestProgram program(folder.path());
    program.bringUp();
    QCOMPARE(headers(program.explorer()->noteList()), QStringLiteral("|")); // no key: both empty
    QCOMPARE(headers(program.explorer()->attachList()), QStringLiteral("||Only"));

    writeFile(folder.path() + QStringLiteral("xx.ini"),
              "[MainForm]\r\nNoteListView=Title\r\nAttachList=Name,Folder\r\n");
    program.language()->switchLanguage(QStringLiteral("xx.ini"), program.dropBox(), program.explorer());
    QCOMPARE(headers(program.explorer()->noteList()), QStringLiteral("|Title"));
    QCOMPARE(headers(program.explorer()->attachList()), QStringLiteral("Name||Folder"));
}

CLIPNEST_TEST_MAIN(LanguageTest)
#include "tst_language.moc"
