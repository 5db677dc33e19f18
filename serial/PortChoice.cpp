// The port choice shared by the photocell and transponder windows, and the watch that
// brings a pulled adapter back. The watch runs on the GUI thread: the component posts its
// hang-up report after the receive thread's synchronous reports, so closing the dead port
// here never happens inside that hand-over, and a timer looks for the device once a second
// (no thread, no busy loop) until it can be opened again.
#include "PortChoice.h"

#include "CommX.h"
#include "SerialPorts.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>

namespace
{

const QString ClockFormat = QStringLiteral("HH:mm:ss");

} // namespace

QString AwayText(qint64 ms)
{
    const qint64 s = qMax<qint64>(0, ms / 1000);
    if (s < 60)
        return QStringLiteral("%1秒").arg(s);
    if (s < 3600)
        return QStringLiteral("%1分%2秒").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1時間%2分%3秒")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

TSerialPortChoice::TSerialPortChoice(TCustomCommX *comm, QObject *parent) : QObject(parent), m_comm(comm)
{
    m_watch.setInterval(WatchIntervalMs);
    connect(&m_watch, &QTimer::timeout, this, &TSerialPortChoice::LookForDevice);
    connect(m_comm, &TCustomCommX::OnHangUp, this, &TSerialPortChoice::HangUp);
}

QStringList TSerialPortChoice::Entries(int chosen)
{
    QStringList entries{QString()};
    QList<int> numbers = SerialPortNumbers();
    if (chosen > 0 && !numbers.contains(chosen)) {
        numbers << chosen;
        std::sort(numbers.begin(), numbers.end());
    }
    for (int n : numbers)
        entries << ::PortName(n);
    return entries;
}

std::optional<int> TSerialPortChoice::PortOfEntry(const QString &entry)
{
    static const QRegularExpression re(QStringLiteral("^COM *([0-9]{1,9})$"),
                                       QRegularExpression::CaseInsensitiveOption);
    const QString text = entry.trimmed();
    if (text.isEmpty())
        return 0;
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(1).toInt();
}

QString TSerialPortChoice::OpenFailureMessage(const QString &message, const ECommError &error, int portNo)
{
    const QString reason = portNo > 0 ? OpenFailureReason(error, portNo) : QString();
    return reason.isEmpty() ? message : message + QLatin1Char('\n') + reason;
}

QString TSerialPortChoice::OpenFailureReason(const ECommError &error, int portNo)
{
    const QString port = ::PortName(portNo);
    switch (error.SystemError()) {
    case EBUSY:
        return QStringLiteral("%1 "
                              "は他のプログラムが使用中です。端末ソフトなど、このポートを使っているプログラムを終了して"
                              "から選び直してください。")
            .arg(port);
    case EACCES:
    case EPERM:
        return QStringLiteral("%1 を開く権限がありません。このユーザーを dialout グループに加えて（sudo adduser "
                              "ユーザー名 dialout）、ログインし直してください。")
            .arg(port);
    default:
        return QString();
    }
}

QString TSerialPortChoice::PortName() const
{
    return ::PortName(m_comm->PortNo());
}

void TSerialPortChoice::Open()
{
    m_watch.stop();
    m_lost = false;
    SetStatus(QString());
    m_comm->Open();
}

void TSerialPortChoice::Close()
{
    m_watch.stop();
    m_lost = false;
    SetStatus(QString());
    m_comm->Close();
}

void TSerialPortChoice::HangUp()
{
    if (!m_comm->IsOpen())
        return;
    m_comm->Close(); // the dead descriptor: the kernel keeps the old ttyUSB name while it is open
    m_lost = true;
    m_lostAt = QTime::currentTime();
    m_away.start();
    LookForDevice();
    m_watch.start();
}

void TSerialPortChoice::LookForDevice()
{
    if (!m_lost) {
        m_watch.stop();
        return;
    }
    // One line: the window keeps a single line for it.
    const QString since = QStringLiteral("%1 との接続が切れました（%2 から %3）。")
                              .arg(PortName(), m_lostAt.toString(ClockFormat), AwayText(m_away.elapsed()));
    const QString device = SerialDevicePath(m_comm->PortNo());
    if (device.isEmpty() || !QFileInfo::exists(device)) {
        SetStatus(since +
                  QStringLiteral("ケーブルとアダプターを確かめてください。差し直せば、つなぎ直して取込を再開します。"));
        return;
    }
    try {
        m_comm->Open();
    } catch (const ECommError &e) {
        // Back but not ready: udev may not have set the node's group yet, or ModemManager
        // is probing the new device. Tried again at the next look.
        switch (e.SystemError()) {
        case EBUSY:
            SetStatus(since + QStringLiteral("ポートは戻りましたが、他のプログラムが使用中です。"));
            break;
        case EACCES:
        case EPERM:
            SetStatus(since + QStringLiteral("ポートは戻りましたが、開く権限がありません（dialout グループ）。"));
            break;
        default:
            SetStatus(since + QStringLiteral("ポートは戻りましたが、まだ開けません。"));
            break;
        }
        return;
    }
    m_lost = false;
    m_watch.stop();
    SetStatus(QStringLiteral("%1 につなぎ直し、取込を再開しました（%2 から %3間、接続が切れていました）。")
                  .arg(PortName(), m_lostAt.toString(ClockFormat), AwayText(m_away.elapsed())));
    emit Reopened();
}

void TSerialPortChoice::SetStatus(const QString &status)
{
    if (status == m_status)
        return;
    m_status = status;
    emit StatusChanged(status);
}
