// Every message box of the station goes through here: plain messages, Yes/No questions
// and the default error box. Tests install a responder that answers and records.
// RunHandler below is how every handler shows its error in that box.
#pragma once

#include <QString>
#include <exception>
#include <functional>

namespace Dialogs
{

enum class Kind { Message, Question, Error };

// Returns the answer to a question (true = はい); ignored for messages and errors.
using Responder = std::function<bool(Kind kind, const QString &title, const QString &text)>;

// Replaces the real boxes; an empty responder restores them.
void setResponder(Responder responder);

// A plain message box, titled with the application title.
void showMessage(const QString &text);

// A Yes/No box; true when the operator answers はい.
bool askYesNo(const QString &title, const QString &text);

// The application's default error box.
void showError(const QString &text);

// Shows what an escaped exception says in the default error box.
void showException(const std::exception &e);

} // namespace Dialogs

// What a handler throws to stop when a handler it ran at once has failed: that handler
// has shown its error, so this one ends without a second box.
class EHandlerStopped
{
};

// One handler running on the GUI thread. A handler run from inside another one's code
// in the same event loop (a program change of a selection runs its Click handler at
// once) is nested in it. One started by an event of an event loop that a handler runs
// (a working window's modal run inside the mode button's handler, a message box) is not
// nested: it belongs to that loop.
class THandlerRun
{
public:
    THandlerRun();
    ~THandlerRun();
    THandlerRun(const THandlerRun &) = delete;
    THandlerRun &operator=(const THandlerRun &) = delete;

    // The handler whose code runs now, or null when none runs in this event loop.
    static THandlerRun *running();

    // Tells the handler this one is nested in, if any, that it has to stop.
    void failed();
    bool nestedFailed() const { return m_nestedFailed; }
    void clearNestedFailed() { m_nestedFailed = false; }

private:
    THandlerRun *m_outer;
    int m_loopLevel;
    bool m_nestedFailed = false;
};

// Runs one handler body. An error it raises stops it there and is shown in the default
// error box, here, before it can reach Qt's event dispatch. Statements already executed
// stay done.
template <typename F> void RunHandler(F &&body)
{
    THandlerRun run;
    try {
        body();
    } catch (const EHandlerStopped &) {
        run.failed(); // a handler it ran has shown the error
    } catch (const std::exception &e) {
        Dialogs::showException(e);
        run.failed();
    }
}

// A program change that runs a handler at once (a selection's Click). When that handler
// fails, the handler making the change stops here too, as if the error had happened in
// its own code; the operator sees one box.
template <typename F> void RunProgramChange(F &&change)
{
    THandlerRun *caller = THandlerRun::running();
    if (caller)
        caller->clearNestedFailed();
    change();
    if (caller && caller->nestedFailed())
        throw EHandlerStopped();
}
