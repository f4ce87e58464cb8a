#include "dropform.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "findbar.h"
#include "interfacelanguage.h"
#include "languagetranslator.h"
#include "mainform.h"
#include "profilefile.h"
#include "seticonform.h"
#include "startup.h"
#include "testprogramfolder.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QStatusTipEvent>
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

// What a menu shows for a caption: "&&" is one "&", a single "&" marks an accelerator.
QString shownCaption(const QString &caption, bool *hasAccelerator)
{
    *hasAccelerator = !QKeySequence::mnemonic(caption).isEmpty();
    return QString(caption).replace(QLatin1String("&&"), QLatin1String("&"));
}

QString fileName(const QString &language)
{
    return language == QLatin1String("Chinese") ? QStringLiteral("cn.ini") : QStringLiteral("en.ini");
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
    void separatorsShowNoText_data();
    void separatorsShowNoText();
    void textsAreShownLiterally();
    void quotedValuesKeepTheirEdgeSpaces();
    void standardButtonsFollowTheLanguage_data();
    void standardButtonsFollowTheLanguage();
    void programTextsFollowTheLanguage();
    void everyProgramTextIsInBothFiles();
    void countsReadAsTheLanguageWritesThem_data();
    void countsReadAsTheLanguageWritesThem();
    void languageMenuMarksTheLanguageInUse();
    void aLargeFileIsReadOncePerSwitch();
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
    QCOMPARE(editor->tagsEdit()->toolTip(), QStringLiteral("用逗号分隔各级节点，组成树形目录"));
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
    // A tool button's hint in the status bar is in the new language at once.
    auto *addNote = program.explorer()->findChild<QToolButton *>(QStringLiteral("addNote"));
    QCOMPARE(addNote->statusTip(), QStringLiteral("新建笔记"));
    QStatusTipEvent hovered(addNote->statusTip());
    QCoreApplication::sendEvent(addNote, &hovered);
    QCOMPARE(program.explorer()->statusBar()->currentMessage(), QStringLiteral("新建笔记"));

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

void LanguageTest::separatorsShowNoText_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("English") << QStringLiteral("English");
    QTest::newRow("Chinese") << QStringLiteral("Chinese");
}

void LanguageTest::separatorsShowNoText()
{
    QFETCH(QString, language);
    TestProgramFolder folder;
    writeFile(folder.path() + QStringLiteral("tavlo.ini"), "[Tavlo]\r\nlang=" + fileName(language).toUtf8() + "\r\n");
    ClipnestProgram program(folder.path());
    program.bringUp();
    // "N1=-" names a separator: no text, which some styles would draw as a heading.
    const QList<QPair<QWidget *, const char *>> separators{{program.dropBox(), "N1"},
                                                           {program.explorer(), "N1"},
                                                           {program.explorer(), "N2"},
                                                           {program.explorer(), "N3"},
                                                           {program.explorer(), "N4"}};
    for (const auto &[window, name] : separators) {
        const auto *separator = window->findChild<QAction *>(QLatin1String(name));
        QVERIFY2(separator->isSeparator(), name);
        QVERIFY2(separator->text().isEmpty(), qPrintable(separator->text()));
    }

    // A text given to a separator makes it an ordinary entry, and "-" makes it a separator again.
    writeFile(folder.path() + QStringLiteral("xx.ini"), "[MainForm]\r\nN2=Printing\r\n");
    program.language()->switchLanguage(QStringLiteral("xx.ini"), program.dropBox(), program.explorer());
    auto *n2 = program.explorer()->findChild<QAction *>(QStringLiteral("N2"));
    QVERIFY(!n2->isSeparator());
    QCOMPARE(n2->text(), QStringLiteral("Printing"));
    program.language()->switchLanguage(fileName(language), program.dropBox(), program.explorer());
    QVERIFY(n2->isSeparator());
    QVERIFY(n2->text().isEmpty());
}

void LanguageTest::textsAreShownLiterally()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    bool accelerator = true;
    QCOMPARE(shownCaption(entryText(program.dropBox(), "ViewHidedragdropbox1"), &accelerator),
             QStringLiteral("View/Hide drag&drop box"));
    QVERIFY(!accelerator);

    writeFile(folder.path() + QStringLiteral("xx.ini"),
              "[DropForm]\r\nViewHidedragdropbox1=Show & hide\r\n[MainForm]\r\nExit1=Save && quit &now\r\n"
              "TagTreeLabel=Notes & clips\r\n");
    program.language()->switchLanguage(QStringLiteral("xx.ini"), program.dropBox(), program.explorer());
    QCOMPARE(shownCaption(entryText(program.dropBox(), "ViewHidedragdropbox1"), &accelerator),
             QStringLiteral("Show & hide"));
    QVERIFY(!accelerator);
    QCOMPARE(shownCaption(entryText(program.explorer(), "Exit1"), &accelerator), QStringLiteral("Save && quit &now"));
    QVERIFY(!accelerator);
    QCOMPARE(program.explorer()->findChild<QLabel *>(QStringLiteral("TagTreeLabel"))->text(),
             QStringLiteral("Notes & clips"));
}

void LanguageTest::quotedValuesKeepTheirEdgeSpaces()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    // The shipped file quotes the text that ends in a space, so the version stands apart.
    QCOMPARE(program.context().messages.text(QStringLiteral("DownloadNewVer")),
             QStringLiteral("Now start to download new version: "));

    writeFile(folder.path() + QStringLiteral("xx.ini"),
              "[MainForm]\r\nCaption=\"  Spaced  \"\r\nTagTreeLabel='Catalog '\r\n"
              "[String]\r\nNoNeedDownload=  plain  \r\n");
    program.language()->switchLanguage(QStringLiteral("xx.ini"), program.dropBox(), program.explorer());
    QCOMPARE(program.explorer()->windowTitle(), QStringLiteral("  Spaced  "));
    QCOMPARE(program.explorer()->findChild<QLabel *>(QStringLiteral("TagTreeLabel"))->text(),
             QStringLiteral("Catalog "));
    QCOMPARE(program.context().messages.text(QStringLiteral("NoNeedDownload")), QStringLiteral("plain"));
}

void LanguageTest::standardButtonsFollowTheLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("yes");
    QTest::addColumn<QString>("no");
    QTest::addColumn<QString>("ok");
    QTest::addColumn<QString>("cancel");
    QTest::newRow("English") << QStringLiteral("English") << QStringLiteral("&Yes") << QStringLiteral("&No")
                             << QStringLiteral("OK") << QStringLiteral("Cancel");
    QTest::newRow("Chinese") << QStringLiteral("Chinese") << QStringLiteral("是(&Y)") << QStringLiteral("否(&N)")
                             << QStringLiteral("确定") << QStringLiteral("取消");
}

void LanguageTest::standardButtonsFollowTheLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, yes);
    QFETCH(QString, no);
    QFETCH(QString, ok);
    QFETCH(QString, cancel);
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    // Switched to from the other language, so that the buttons really change.
    program.explorer()
        ->findChild<QAction *>(language == QLatin1String("English") ? QStringLiteral("ChineseAct")
                                                                    : QStringLiteral("EnglishAct"))
        ->trigger();
    program.explorer()->findChild<QAction *>(language + QStringLiteral("Act"))->trigger();

    QMessageBox question(QMessageBox::Question, QStringLiteral("Clipnest"), QStringLiteral("?"),
                         QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.button(QMessageBox::Yes)->text(), yes);
    QCOMPARE(question.button(QMessageBox::No)->text(), no);
    QInputDialog input;
    input.show();
    const auto *buttons = input.findChild<QDialogButtonBox *>();
    QVERIFY(buttons);
    QCOMPARE(buttons->button(QDialogButtonBox::Ok)->text().remove(QLatin1Char('&')), ok);
    QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')), cancel);
}

void LanguageTest::programTextsFollowTheLanguage()
{
    TestProgramFolder folder;
    writeFile(folder.path() + QStringLiteral("tavlo.ini"), "[Tavlo]\r\nlang=cn.ini\r\n");
    ClipnestProgram program(folder.path());
    program.bringUp();
    // The find bar was made before the language was applied; it follows it.
    FindBar *finder = program.explorer()->content()->Finder();
    auto *findText = finder->findChild<QLineEdit *>(QStringLiteral("FindTextEdit"));
    QTRY_COMPARE(findText->placeholderText(), QStringLiteral("在笔记中查找"));
    QCOMPARE(finder->findChild<QToolButton *>(QStringLiteral("FindCloseButton"))->toolTip(),
             QStringLiteral("关闭 (Esc)"));
    {
        TSetIconForm picker;
        QCOMPARE(picker.windowTitle(), QStringLiteral("选择图标"));
        QCOMPARE(picker.findChild<QPushButton *>(QStringLiteral("OkBtn"))->text(), QStringLiteral("确定"));
        QCOMPARE(picker.iconList()->item(0)->text(), QStringLiteral("文件夹"));
    }

    program.explorer()->findChild<QAction *>(QStringLiteral("EnglishAct"))->trigger();
    QTRY_COMPARE(findText->placeholderText(), QStringLiteral("Find in note"));
    TSetIconForm picker;
    QCOMPARE(picker.windowTitle(), QStringLiteral("Select icon"));
    QCOMPARE(picker.iconList()->item(0)->text(), QStringLiteral("Folder"));
}

void LanguageTest::everyProgramTextIsInBothFiles()
{
    const QString shipped = TestProgramFolder::buildProgramFolder();
    const ProfileContents english = ProfileContents::read(shipped + QStringLiteral("en.ini"));
    const ProfileContents chinese = ProfileContents::read(shipped + QStringLiteral("cn.ini"));
    QCOMPARE(LanguageTranslator::qtLocale(chinese), QStringLiteral("zh_CN"));
    const QRegularExpression placeholder(QStringLiteral("%\\d"));
    QSet<QString> seen;
    for (const ProgramText &text : LanguageTranslator::programTexts()) {
        const QString key = QLatin1String(text.key);
        const QString original = QString::fromUtf8(text.english);
        QVERIFY2(!seen.contains(original), text.english); // one key for each text
        seen.insert(original);
        // English mode shows exactly what the code writes.
        QCOMPARE(LanguageTranslator::unescaped(english.readString(QStringLiteral("Texts"), key, QString())), original);
        const QString translated =
            LanguageTranslator::unescaped(chinese.readString(QStringLiteral("Texts"), key, QString()));
        QVERIFY2(!translated.isEmpty(), text.key);
        QCOMPARE(translated.count(placeholder), original.count(placeholder));
    }
}

void LanguageTest::countsReadAsTheLanguageWritesThem_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("shown");
    QTest::newRow("one hit") << "en.ini"
                             << "FullTextHits" << 1 << "1 note contains \"tide\"";
    QTest::newRow("two hits") << "en.ini"
                              << "FullTextHits" << 2 << "2 notes contain \"tide\"";
    QTest::newRow("one hit so far") << "en.ini"
                                    << "FullTextIncomplete" << 1
                                    << "1 note contains \"tide\" so far; the search index is still being built";
    QTest::newRow("one exported") << "en.ini"
                                  << "ExportDone" << 1 << "Exported 1 note to \"tide\". Open it in the web browser?";
    QTest::newRow("none backed up") << "en.ini"
                                    << "BackupDone" << 0 << "Backed up 0 notes to \"tide\".";
    QTest::newRow("one backed up") << "en.ini"
                                   << "BackupDone" << 1 << "Backed up 1 note to \"tide\".";
    QTest::newRow("one hit, Chinese") << "cn.ini"
                                      << "FullTextHits" << 1 << "1 篇笔记包含“tide”";
    QTest::newRow("two hits, Chinese") << "cn.ini"
                                       << "FullTextHits" << 2 << "2 篇笔记包含“tide”";
    QTest::newRow("a file without singular texts") << "old.ini"
                                                   << "FullTextHits" << 1 << "1 Notizen enthalten \"tide\"";
    QTest::newRow("one exported, Chinese") << "cn.ini"
                                           << "ExportDone" << 1 << "已将 1 条笔记导出到 \"tide\"。要在浏览器中打开吗？";
}

void LanguageTest::countsReadAsTheLanguageWritesThem()
{
    QFETCH(QString, file);
    QFETCH(QString, key);
    QFETCH(int, count);
    QFETCH(QString, shown);
    TestProgramFolder folder;
    writeFile(folder.path() + QStringLiteral("tavlo.ini"), "[Tavlo]\r\nlang=" + file.toUtf8() + "\r\n");
    writeFile(folder.path() + QStringLiteral("old.ini"), "[String]\r\nFullTextHits=%1 Notizen enthalten \"%2\"\r\n");
    ClipnestProgram program(folder.path());
    program.bringUp();
    QCOMPARE(program.context().messages.counted(key, count).arg(count).arg(QStringLiteral("tide")), shown);
    if (file == QLatin1String("old.ini"))
        return;
    // The shipped file holds both forms: nothing falls back to the English default.
    const ProfileContents shipped = ProfileContents::read(folder.path() + file);
    QVERIFY(shipped.contains(QStringLiteral("String"), key));
    QVERIFY(shipped.contains(QStringLiteral("String"), key + QStringLiteral("One")));
}

void LanguageTest::languageMenuMarksTheLanguageInUse()
{
    TestProgramFolder folder;
    writeFile(folder.path() + QStringLiteral("tavlo.ini"), "[Tavlo]\r\nlang=cn.ini\r\n");
    ClipnestProgram program(folder.path());
    program.bringUp();
    auto *english = program.explorer()->findChild<QAction *>(QStringLiteral("English1"));
    auto *chinese = program.explorer()->findChild<QAction *>(QStringLiteral("Chinese1"));
    QVERIFY(chinese->isCheckable() && chinese->isChecked());
    QVERIFY(!english->isChecked());
    // The empty catalog's hint is in the language too.
    auto *hint = program.explorer()->findChild<QLabel *>(QStringLiteral("EmptyCatalogHint"));
    QTRY_VERIFY(hint->text().contains(QStringLiteral("目录还是空的")));

    english->trigger();
    QVERIFY(english->isChecked());
    QVERIFY(!chinese->isChecked());
    QTRY_VERIFY(hint->text().contains(QStringLiteral("Your catalog is empty")));
    // Choosing the language in use again keeps it marked.
    english->trigger();
    QVERIFY(english->isChecked());
}

void LanguageTest::aLargeFileIsReadOncePerSwitch()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    QFile shipped(folder.path() + QStringLiteral("cn.ini"));
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    QByteArray large = shipped.readAll() + "\r\n[Notes]\r\n";
    for (int i = 0; i < 60000; ++i)
        large += "Remark" + QByteArray::number(i) + "=a line the program does not read, number " +
                 QByteArray::number(i) + "\r\n";
    const QString path = folder.path() + QStringLiteral("large.ini");
    writeFile(path, large);

    QElapsedTimer clock;
    qint64 parseMs = std::numeric_limits<qint64>::max();
    for (int run = 0; run < 3; ++run) {
        clock.start();
        QVERIFY(!ProfileContents::read(path).isEmpty());
        parseMs = std::min(parseMs, clock.elapsed());
    }
    clock.start();
    program.language()->switchLanguage(QStringLiteral("large.ini"), program.dropBox(), program.explorer());
    const qint64 switchMs = clock.elapsed();
    qsizetype named = 0;
    for (QWidget *window : {static_cast<QWidget *>(program.dropBox()), static_cast<QWidget *>(program.explorer())}) {
        for (const QObject *object : window->findChildren<QObject *>())
            named += object->objectName().isEmpty() ? 0 : 1;
    }
    qInfo("one parse of a %lld kB language file: %lld ms; a whole switch over %lld named controls: %lld ms",
          qint64(large.size() / 1024), parseMs, qint64(named), switchMs);
    QCOMPARE(entryText(program.explorer(), "Exit1"), QStringLiteral("退出"));
    // Read once, not once for each of the some hundred named controls.
    QVERIFY2(switchMs < 10 * std::max<qint64>(parseMs, 5), qPrintable(QString::number(switchMs)));
}

CLIPNEST_TEST_MAIN(LanguageTest)
#include "tst_language.moc"
