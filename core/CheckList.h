// What the check list needs besides its window and its statements (ResultStatements):
// the query file "d:\a.txt" on a machine without drive letters.
#pragma once

#include <QString>
#include <QStringList>

namespace CheckList
{

// The local path of a "x:\dir\file" path. Drive x stands for the folder of key X in
// section [Drives] of the settings file (relative to the working folder when not
// absolute); without the key it stands for "midstation/drive-x" under the user's data
// folder, created when needed. A configured folder is taken as it is: a missing one is a
// missing drive. A path without a drive letter is returned unchanged.
QString LocalPath(const QString &windowsPath);

// The query file, rewritten at every opening of the list.
inline QString QueryFileName()
{
    return QStringLiteral("d:\\a.txt");
}

// Replaces the file's content by the lines, each followed by CR LF, in CP932 bytes.
// Raises EInOutError when the file cannot be created or written.
void WriteQueryFile(const QString &windowsPath, const QStringList &lines);

} // namespace CheckList
