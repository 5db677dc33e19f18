// The far end of a pseudo-terminal, for every suite that plays a device on a serial line
// (timer, decoder): the test holds the master, the component opens the slave through a COM
// number mapped in a settings file of the suite's own working folder.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

class TPtyPeer
{
public:
    // How Write waits while the line is full. Block: in write(2), for a reader in another
    // thread or process. RunEventLoop: the master is non-blocking and the caller's event
    // loop runs meanwhile, so a window in the same thread reads a long burst while it comes.
    enum class Writes { Block, RunEventLoop };
    explicit TPtyPeer(Writes writes = Writes::Block);
    ~TPtyPeer();
    TPtyPeer(const TPtyPeer &) = delete;
    TPtyPeer &operator=(const TPtyPeer &) = delete;
    QString SlavePath() const { return m_slavePath; }
    void Write(const QByteArray &bytes); // all of it, or the process fails
    // Reads until count bytes came or timeoutMs passed without any.
    QByteArray Read(int count, int timeoutMs);
    void HangUp(); // closes the master
    // The slave's settings as the component left them (read through the master).
    unsigned CFlag() const;
    unsigned IFlag() const;
    unsigned OutputSpeed() const;

private:
    int m_master = -1;
    QString m_slavePath;
};

// A temporary working folder whose VidadIva.ini maps COM numbers ("COM7" -> path); the
// process's current folder while it lives, and the home of the adapters' COM numbers
// ($XDG_DATA_HOME), so a suite never writes the user's own.
class TWorkFolder
{
public:
    explicit TWorkFolder(const QMap<int, QString> &ports);
    ~TWorkFolder();
    QString Path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
    QByteArray m_previousData;
};
