// A scripted line for the serial tests: it plays what a pseudo-terminal cannot carry
// (modem-line changes, BREAK, line errors, a stalled peer) and records what the component
// did to the line (RTS and DTR changes with their times, writes, purges, configuration).
// The test keeps the TScriptedPort; the component gets lines made by its Factory().
#pragma once

#include "CommLine.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class TScriptedPort : public std::enable_shared_from_this<TScriptedPort>
{
public:
    struct Record {
        qint64 ms;    // since the port was made
        QString what; // "open", "close", "rts", "dtr", "write", "purge-out", "purge-in", "config"
        int value;    // 1/0 for rts and dtr, the byte count for write
    };

    static std::shared_ptr<TScriptedPort> Create();
    ~TScriptedPort();

    // A factory for TCustomCommX::SetLineFactory.
    std::function<std::unique_ptr<TCommLine>()> Factory();

    // One wake-up of the receive thread carrying these events, line errors and bytes
    // (bytes add CommEv::RxChar to the mask).
    void Wake(unsigned eventMask, unsigned errors = 0, const QByteArray &received = QByteArray());
    void HangUp();
    // While not writable the line takes no output (a peer holding XOFF or CTS).
    void SetWritable(bool writable);
    void SetOpenError(int negativeErrno);
    // The peer's modem lines (CommMs bits; CTS, DSR and carrier on at first).
    void SetModemStatus(int status);
    // Adds a record of the test's own (a time mark) to the line's record.
    void Note(const QString &what) { Add(what, 0); }

    QByteArray Written() const;
    QList<Record> Records() const;
    QList<Record> Records(const QString &what) const;
    TLineConfig Config() const;
    QString OpenedPath() const;
    int OpenLines() const; // lines open now (0 after the component closed)

private:
    friend class TScriptedLine;
    TScriptedPort();
    void Add(const QString &what, int value);

    mutable std::mutex m_lock;
    int m_eventFd = -1; // readable while wake-ups are queued
    QElapsedTimer m_clock;
    struct WakeUp {
        unsigned mask;
        unsigned errors;
        QByteArray bytes;
    };
    std::deque<WakeUp> m_wakeUps;
    QByteArray m_input;
    unsigned m_errors = 0;
    QByteArray m_written;
    bool m_writable = true;
    int m_openError = 0;
    int m_modemStatus = CommMs::Cts | CommMs::Dsr | CommMs::Rlsd;
    QList<Record> m_records;
    TLineConfig m_config;
    QString m_path;
    int m_open = 0;
};
