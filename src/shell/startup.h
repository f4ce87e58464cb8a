#pragma once

#include "appcontext.h"

#include <memory>

class InterfaceLanguage;
class ProcessDeadline;
class RunningCopy;
class SignalBridge;
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
    // Ends the program in order: every open editor closes as the user's own
    // close does (it saves); then the explorer is emptied and the message loop
    // ends. An editor whose save fails stays open with its message and stops the
    // exit. Answers whether the loop is ending.
    bool exit();
    // exit() asked by a signal: see endOnSignals().
    void exitOnSignal();
    // Shows the explorer and the drop box (asked by a later start).
    void showWindows();
    // SIGTERM, SIGINT and SIGHUP end the program as exit() does, within ten
    // seconds whatever box is open: the boxes are closed, editors that can
    // save, save, and one whose save fails closes unsaved. Call after bringUp,
    // once Qt WebEngine has set its own handlers; a bridge of the start-up's
    // is taken over.
    void endOnSignals(SignalBridge *startUpSignals = nullptr);
    // Listens in the folder for later starts asking this copy to show itself.
    bool listenForLaterStarts(const QString &runtimeFolder);
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
    // Released last: the program is ended by then, or the deadline a signal
    // set ends it; a second signal while the objects go is still caught.
    std::unique_ptr<ProcessDeadline> m_deadline;
    std::unique_ptr<SignalBridge> m_ownSignals;
    SignalBridge *m_signals = nullptr;
    AppContext m_context;
    std::unique_ptr<InterfaceLanguage> m_language;
    // Created in this order; members are destroyed in the reverse one.
    std::unique_ptr<TDropForm> m_dropBox;
    std::unique_ptr<TDBDataModule> m_database;
    std::unique_ptr<TMainForm> m_explorer;
    std::unique_ptr<TaboutForm> m_about;
    std::unique_ptr<TInfoForm> m_info;
    // Made after bring-up, released first.
    std::unique_ptr<RunningCopy> m_runningCopy;
    bool m_exiting = false;
    bool m_endingNow = false; // a signal asked; nothing may wait for the user
};

// The whole run: the single-instance guard, bringing up, the message loop and
// shutdown. Answers the process's exit status. Until the program is up, a
// signal through startUpSignals ends the start (see endStartUpOnSignals).
int runClipnest(const QString &programFolder, SignalBridge *startUpSignals = nullptr);

// Until the program is up, SIGTERM, SIGINT and SIGHUP end the start: every
// box then waiting returns at once, and the caller sees hasReceived(). Call
// once the application object exists.
void endStartUpOnSignals(SignalBridge &bridge);
