// The far end of a pseudo-terminal for the serial suites: the test holds the master, the
// component opens the slave through a COM number mapped in a settings file of the suite's
// own working folder.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

class TPtyPeer
{
public:
    TPtyPeer();
    ~TPtyPeer();
    QString SlavePath() const { return m_slavePath; }
    void Write(const QByteArray &bytes);
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
