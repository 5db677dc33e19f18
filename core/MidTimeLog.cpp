// TLog: one file, opened, appended to and closed per line, so that the log is complete
// on disk after every entry even if the station dies right after it.
#include "MidTimeLog.h"

#include "Errors.h"
#include "Sjis.h"
#include "StationFolders.h"
#include "TextFields.h"

#include <QFile>

TLog::TLog() : Path(FolderOf(StationFolders::LogFolder())), FileName(QStringLiteral("Default.log")) {}

QString TLog::FolderOf(const QString &programFolder)
{
    // Blanks and control characters are trimmed off the folder at both ends.
    QString folder = TrimControls(programFolder);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

void TLog::WriteLine(const QString &text)
{
    const QString name = Path + FileName;
    QFile file(name);
    // Append creates the file when it is missing.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw EInOutError(QStringLiteral("ログファイル %1 を開けません。\n%2").arg(name, file.errorString()));
    const QByteArray bytes = Sjis::encode(text) + QByteArrayLiteral("\r\n");
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw EInOutError(QStringLiteral("ログファイル %1 に書き込めません。\n%2").arg(name, file.errorString()));
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw EInOutError(QStringLiteral("ログファイル %1 を閉じられません。\n%2").arg(name, file.errorString()));
}
