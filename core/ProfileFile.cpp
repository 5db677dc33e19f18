#include "ProfileFile.h"

#include "Errors.h"
#include "WholeFile.h"
#include "TextFields.h"

#include <QFile>

namespace
{

QStringList readLines(const QString &path, bool *exists = nullptr)
{
    QFile f(path);
    if (exists)
        *exists = f.exists();
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromLatin1(f.readAll());
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// "[name]" with blanks allowed around; returns the name or a null string.
QString sectionName(const QString &line)
{
    const QString t = line.trimmed();
    if (t.startsWith(QLatin1Char('[')) && t.contains(QLatin1Char(']')))
        return t.mid(1, t.indexOf(QLatin1Char(']')) - 1).trimmed();
    return QString();
}

// "key=value": the key, or a null string for lines that are not an assignment.
QString keyName(const QString &line, QString *value = nullptr)
{
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq < 0 || line.trimmed().startsWith(QLatin1Char(';')))
        return QString();
    if (value)
        *value = line.mid(eq + 1);
    return line.left(eq).trimmed();
}

bool same(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

struct TEntry {
    QString key;
    QString value;
};

// The "key=value" entries of a section, in file order (sections compared without case).
QList<TEntry> sectionEntries(const QString &path, const QString &section)
{
    QList<TEntry> entries;
    bool inSection = false;
    for (const QString &line : readLines(path)) {
        const QString name = sectionName(line);
        if (!name.isNull()) {
            inSection = same(name, section);
            continue;
        }
        TEntry entry;
        entry.key = keyName(line, &entry.value);
        if (inSection && !entry.key.isEmpty())
            entries << entry;
    }
    return entries;
}

} // namespace

namespace ProfileFile
{

QString ReadString(const QString &path, const QString &section, const QString &key, const QString &fallback)
{
    for (const TEntry &entry : sectionEntries(path, section)) {
        if (!same(entry.key, key))
            continue;
        QString value = entry.value.trimmed();
        if (value.size() >= 2 &&
            ((value.startsWith('"') && value.endsWith('"')) || (value.startsWith('\'') && value.endsWith('\''))))
            value = value.mid(1, value.size() - 2);
        return value.left(2047);
    }
    return fallback;
}

QStringList ReadKeys(const QString &path, const QString &section)
{
    QStringList keys;
    for (const TEntry &entry : sectionEntries(path, section))
        keys << entry.key;
    return keys;
}

bool WriteString(const QString &path, const QString &section, const QString &key, const QString &value)
{
    QStringList lines = readLines(path);
    const QString entry = key + QLatin1Char('=') + value;
    int sectionAt = -1;
    int insertAt = -1;
    bool written = false;
    for (int i = 0; i < lines.size() && !written; ++i) {
        const QString name = sectionName(lines[i]);
        if (!name.isNull()) {
            if (sectionAt >= 0)
                break; // end of our section without the key
            if (same(name, section)) {
                sectionAt = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (sectionAt < 0)
            continue;
        if (same(keyName(lines[i]), key)) {
            lines[i] = entry;
            written = true;
        } else if (!lines[i].trimmed().isEmpty()) {
            insertAt = i + 1;
        }
    }
    if (!written) {
        if (sectionAt >= 0) {
            lines.insert(insertAt, entry);
        } else {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
                lines << QString();
            lines << QLatin1Char('[') + section + QLatin1Char(']') << entry;
        }
    }
    return WriteWholeFile(path, (lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n")).toLatin1());
}

int ReadInteger(const QString &path, const QString &section, const QString &key, int fallback)
{
    const QString text = ReadString(path, section, key);
    if (text.size() >= 3 && text[0] == QLatin1Char('0') &&
        (text[1] == QLatin1Char('x') || text[1] == QLatin1Char('X'))) {
        bool ok = false;
        const qint64 v = text.mid(2).toLongLong(&ok, 16);
        return ok && v <= 0xFFFFFFFFLL ? int(quint32(v)) : fallback;
    }
    return StrToIntDef(text, fallback);
}

void WriteSetting(const QString &path, const QString &section, const QString &key, const QString &value)
{
    if (!WriteString(path, section, key, value))
        throw EInOutError(QStringLiteral("%1 に書き込めません").arg(path));
}

} // namespace ProfileFile
