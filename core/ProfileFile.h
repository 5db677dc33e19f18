// Sectioned profile files ("[Section]" then "Key=Value" lines), read and written with the
// rules of the Windows profile functions: section and key names compare without regard to
// case, a write keeps every other section, key and line as it was, and creates the file,
// the section and the key as needed. Bytes are kept as they are (the files are ASCII or
// the machine's code page; nothing is re-encoded).
#pragma once

#include <QString>
#include <QStringList>

namespace ProfileFile
{

// The value of key in section, blanks around it removed (and one pair of enclosing
// quotes), at most 2047 characters; fallback when the file, section or key is missing.
QString ReadString(const QString &path, const QString &section, const QString &key,
                   const QString &fallback = QString());

// The keys of a section in file order; empty when the file or section is missing.
QStringList ReadKeys(const QString &path, const QString &section);

// Sets key in section to value. False when the file cannot be written.
bool WriteString(const QString &path, const QString &section, const QString &key, const QString &value);
// The same for a setting the operator must hear about: a file that cannot be written
// raises EInOutError "<path> に書き込めません".
void WriteSetting(const QString &path, const QString &section, const QString &key, const QString &value);

// The integer rule of the settings file: "0x" or "0X" and at least one more character
// reads hexadecimal; otherwise decimal with blanks and a sign allowed; an empty or
// non-numeric text gives fallback.
int ReadInteger(const QString &path, const QString &section, const QString &key, int fallback);

} // namespace ProfileFile
