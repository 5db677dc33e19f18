// The transponder decoder's serial stream cut into lines, and the choice of the lines
// that are passing records. Plain code fed the bytes of one receive event at a time; the
// registration window shows what it returns and queues the records.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One line taken from the stream.
struct TAmbLine {
    QString text;   // as shown in the raw view (after the trimming of a batch's first line)
    bool passing;   // a passing record ("@" in field 1)
    QString record; // for a passing record: fields 4 onward (transponder, time, hits, ...)
};

class TAmbDecoder
{
public:
    // Takes the bytes of one receive event and returns the lines it completes, in order.
    // A line not yet ended by CR waits in the buffer for the next batch.
    QList<TAmbLine> Feed(const QByteArray &batch);

    // Bytes received and not yet taken as a line (ambbuf), one character per byte.
    const QString &Buffer() const { return m_buffer; }
    void Clear() { m_buffer.clear(); }

    // The selection rule for one line: true for a passing record, with the text after its
    // third field in record.
    static bool PassingRecord(const QString &line, QString *record);

private:
    QString m_buffer;
};
