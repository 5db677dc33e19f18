// One running copy per user: a lock file in a folder only the user may enter marks the
// running copy, and a local socket beside it lets a second start ask it to come to the
// front. Only a live process holds the marker: the lock of a crashed copy does not
// block a start. A live copy that does not answer (its window thread busy in a long
// statement) is never joined by a second one. Nothing lies at a shared, predictable
// name, so another user can neither take the socket first nor answer in its place.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <memory>

class TSingleInstance : public QObject
{
    Q_OBJECT
public:
    // key: the program file's name, without folder.
    explicit TSingleInstance(const QString &key, QObject *parent = nullptr);
    ~TSingleInstance() override;

    enum class Start {
        Go,      // no copy runs: this start goes on and answers later starts
        Raised,  // the running copy answered and comes to the front: end without a window
        Refused, // a copy runs but does not answer: end ("起動できません")
    };
    Start claim();

    // How long a second start waits for the running copy's answer.
    int AnswerTimeoutMs = 5000;

    // Where the running copy listens (empty when no private folder could be had).
    QString socketPath() const { return m_socketPath; }

    // The user's private folder: $XDG_RUNTIME_DIR when it is a folder of this user that
    // nobody else may enter; else such a folder made (and checked) in the temporary
    // folder, or in ~/.cache when that name is taken. Empty when none can be had.
    static QString PrivateFolder();

    // Shown when a start is refused.
    static QString RefusedMessage() { return QStringLiteral("起動できません"); }

signals:
    // A later start asked this copy to restore and raise its main window.
    void raiseRequested();

private:
    bool askRunningCopy();
    void listen();

    QString m_key;
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};
