#pragma once

#include <QString>

class TMainForm;

// Shows a file selected in the file manager, or opens its folder where no file
// manager answers.
void showInFileManager(const QString &filePath);

// The explorer's commands on the files behind notes and attachments.
class FileCommands
{
public:
    explicit FileCommands(TMainForm &explorer);

    // Opens the selected attachment with the program registered for it.
    void AttachListDblClick();
    // Shows the selected note's file, the shown note's file, the selected
    // attachment's file in the file manager.
    void Locatenotefileindisk1Click();
    void Locatenotefileindisk2Click();
    void Locateattachfileindisk1Click();

private:
    TMainForm &m_explorer;
};
