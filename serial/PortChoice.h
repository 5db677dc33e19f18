// The port of a window that takes data from a serial device (the photocell timer, the
// transponder decoder): the entries of its port list, the number an entry names, what to
// tell the operator when opening fails, and the watch over the open port. On race day the
// device hangs on a USB adapter whose cable gets pulled: the watch closes the dead port,
// says so on the window's status line (no box: intake and the window go on), and reopens
// the same adapter by itself when it is plugged back.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QTimer>
#include <optional>

class ECommError;
class TCustomCommX;

class TSerialPortChoice : public QObject
{
    Q_OBJECT
public:
    // Looks for the device of a lost port this often.
    static constexpr int WatchIntervalMs = 1000;

    explicit TSerialPortChoice(TCustomCommX *comm, QObject *parent = nullptr);

    // The port list: a blank entry, then "COMn" of every port listed now; the chosen port
    // (> 0) is there even when it is not listed (an adapter that is away).
    static QStringList Entries(int chosen);
    // The number an entry names ("COM3" 3, "COM123" 123), 0 for the blank entry, nothing
    // for a text that names no port.
    static std::optional<int> PortOfEntry(const QString &entry);
    // What to add to a window's open-failure message: the port is held by another program,
    // or the user may not open it (not in the dialout group); "" otherwise.
    static QString OpenFailureReason(const ECommError &error, int portNo);
    // The window's message, with that reason on a second line when there is one.
    static QString OpenFailureMessage(const QString &message, const ECommError &error, int portNo);

    // Opens the component on its PortNo (ECommError as Open raises it) and watches it.
    void Open();
    // Closes the component and stops watching: the operator put the port down.
    void Close();

signals:
    // The status line: "" while all is well, else the loss or the return with the time away.
    void StatusChanged(const QString &status);
    // The lost port is open again: a partial line from before the loss is not to be
    // completed by the bytes that come now.
    void Reopened();

private:
    void HangUp();
    void LookForDevice();
    void SetStatus(const QString &status);
    QString PortName() const;

    TCustomCommX *m_comm;
    QTimer m_watch;
    bool m_lost = false;
    QTime m_lostAt;
    QElapsedTimer m_away;
    QString m_status;
};

// "45秒", "3分05秒", "1時間02分03秒".
QString AwayText(qint64 ms);
