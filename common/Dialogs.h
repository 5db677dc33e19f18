// Every message box of the station goes through here: plain messages, Yes/No questions
// and the default error box. Tests install a responder that answers and records.
#pragma once

#include <QString>
#include <exception>
#include <functional>

namespace Dialogs {

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

}  // namespace Dialogs

// Counts the handlers running on the GUI thread, one inside the other.
class THandlerDepth {
public:
    THandlerDepth() { ++depth(); }
    ~THandlerDepth() { --depth(); }
    bool nested() const { return depth() > 1; }

private:
    static int &depth()
    {
        static int d = 0;
        return d;
    }
};

// Runs one handler body; an error it raises stops it there and is shown in the
// default error box. Statements already executed stay done. A handler run from inside
// another (a program change of a selection runs its handler at once) lets the error
// pass on, so the outer handler stops too and the box shows once.
template <typename F>
void RunHandler(F &&body)
{
    THandlerDepth depth;
    if (depth.nested()) {
        body();
        return;
    }
    try {
        body();
    } catch (const std::exception &e) {
        Dialogs::showException(e);
    }
}
