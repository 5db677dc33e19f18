// The log of the mid times the chip-tag intake writes: every update
// statement is appended, before it runs, to a plain text file in the program's folder
// (per user when the station is installed, see StationFolders.h).
#pragma once

#include <QString>

class TLog
{
public:
    // Path = the log folder (StationFolders::LogFolder) with one trailing separator;
    // FileName = "Default.log".
    TLog();

    // Folder of the log file, always ending with exactly one "/".
    QString Path;
    QString FileName;

    // Appends text and CR LF to Path + FileName, in CP932 bytes (the code page
    // of a Japanese station). The file is created when missing, opened and closed
    // for this one line. Raises EInOutError when the file cannot be opened or written.
    void WriteLine(const QString &text);

    // The folder part of a program folder as TLog keeps it: trimmed of blanks and
    // control characters, with one trailing "/" ("/" stays "/").
    static QString FolderOf(const QString &programFolder);
};
