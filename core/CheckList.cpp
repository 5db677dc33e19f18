#include "CheckList.h"

#include "Errors.h"
#include "ProfileFile.h"
#include "Sjis.h"
#include "StationFolders.h"

#include <QDir>
#include <QFile>

namespace CheckList
{

QString LocalPath(const QString &windowsPath)
{
    if (windowsPath.size() < 3 || !windowsPath[0].isLetter() || windowsPath[1] != QLatin1Char(':') ||
        windowsPath[2] != QLatin1Char('\\'))
        return windowsPath;
    const QString letter = windowsPath.left(1).toUpper();
    const QString rest = windowsPath.mid(3).replace(QLatin1Char('\\'), QLatin1Char('/'));

    QString folder = ProfileFile::ReadString(StationFolders::SettingsFile(), QStringLiteral("Drives"), letter);
    if (!folder.isEmpty()) {
        folder = QDir::current().absoluteFilePath(folder);
    } else {
        folder = StationFolders::UserWorkingFolder() + QStringLiteral("/drive-") + letter.toLower();
        QDir().mkpath(folder); // a failure shows up when the file is written
    }
    return QDir(folder).filePath(rest);
}

void WriteQueryFile(const QString &windowsPath, const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += Sjis::encode(line) + "\r\n";

    const QString path = LocalPath(windowsPath);
    QFile file(path);
    // Replaced in place, as the file was: a file that may not be written is an error even
    // where its folder could take a new one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EInOutError(QStringLiteral("ファイル %1 (%2) を作成できません。%3")
                              .arg(windowsPath, QDir::toNativeSeparators(path), file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw EInOutError(QStringLiteral("ファイル %1 (%2) に書き込めません。%3")
                              .arg(windowsPath, QDir::toNativeSeparators(path), file.errorString()));
}

} // namespace CheckList
