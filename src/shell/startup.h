#pragma once

#include "appcontext.h"

#include <memory>

class InterfaceLanguage;
class TDBDataModule;
class TDropForm;
class TEditorForm;
class TInfoForm;
class TMainForm;
class TaboutForm;

// The program's long-lived objects, created in a fixed order and released in
// the reverse order.
class ClipnestProgram
{
public:
    // programFolder ends with "/".
    explicit ClipnestProgram(const QString &programFolder);
    ~ClipnestProgram();
    ClipnestProgram(const ClipnestProgram &) = delete;
    ClipnestProgram &operator=(const ClipnestProgram &) = delete;

    // Creates the windows and the database module, shows the explorer and runs
    // the first loads. Throws DbError when the database cannot be opened.
    void bringUp();
    // Empties the explorer and ends the message loop.
    void exit();
    // A new note editor with the current interface language, knowing the
    // explorer and the drop box; the caller shows it.
    TEditorForm *newEditor();

    AppContext &context() { return m_context; }
    TDropForm *dropBox() const { return m_dropBox.get(); }
    TDBDataModule *database() const { return m_database.get(); }
    TMainForm *explorer() const { return m_explorer.get(); }
    TaboutForm *aboutBox() const { return m_about.get(); }
    TInfoForm *infoWindow() const { return m_info.get(); }
    InterfaceLanguage *language() const { return m_language.get(); }

private:
    AppContext m_context;
    std::unique_ptr<InterfaceLanguage> m_language;
    // Created in this order; members are destroyed in the reverse one.
    std::unique_ptr<TDropForm> m_dropBox;
    std::unique_ptr<TDBDataModule> m_database;
    std::unique_ptr<TMainForm> m_explorer;
    std::unique_ptr<TaboutForm> m_about;
    std::unique_ptr<TInfoForm> m_info;
};

// The whole run: the single-instance guard, bringing up, the message loop and
// shutdown. Answers the process's exit status.
int runClipnest(const QString &programFolder);
