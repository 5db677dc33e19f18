// One running copy per user: a lock file in the user's runtime folder marks the running
// copy, and a local socket named after the program lets a second start ask it to come
// to the front. A lock left behind by a crashed copy does not block a start.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <memory>

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    // key: the program file's name, without folder.
    explicit TSingleInstance(const QString &key, QObject *parent = nullptr);
    ~TSingleInstance() override;

    // True when this start may go on. False when a running copy answered and was asked to
    // come to the front: this start must end without a window.
    bool claim();

signals:
    // A later start asked this copy to restore and raise its main window.
    void raiseRequested();

private:
    bool askRunningCopy();
    void listen();

    QString m_key;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};
