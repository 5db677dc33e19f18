// The two layouts of the station's files: beside the program, or per user when installed.
#include "StationFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace StationFolders
{

namespace
{

// An XDG base folder: the variable when it holds an absolute path (the rule of the XDG
// base directory specification), otherwise the default under the home folder.
QString xdgFolder(const char *variable, const QString &homeDefault)
{
    const QString value = qEnvironmentVariable(variable);
    if (QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::homePath() + QLatin1Char('/') + homeDefault;
}

} // namespace

QString SettingsFile()
{
    return QDir::current().filePath(QStringLiteral("VidadIva.ini"));
}

bool Installed()
{
    const QString folder = QDir::cleanPath(QCoreApplication::applicationDirPath());
    // Root can write /usr/bin, so the folder's write access alone would keep an installed
    // station run as root logging into /usr/bin. The system's program folders count as
    // installed whatever prefix the build was configured with: the package puts the
    // program under /usr even from a build folder first configured for /usr/local.
    const QStringList programFolders{QDir::cleanPath(QStringLiteral(MIDSTATION_INSTALL_BINDIR)),
                                     QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin"),
                                     QStringLiteral("/bin")};
    if (programFolders.contains(folder))
        return true;
    return !QFileInfo(folder).isWritable();
}

QString UserWorkingFolder()
{
    return xdgFolder("XDG_DATA_HOME", QStringLiteral(".local/share")) + QStringLiteral("/midstation");
}

QString UserLogFolder()
{
    return xdgFolder("XDG_STATE_HOME", QStringLiteral(".local/state")) + QStringLiteral("/midstation");
}

QString LogFolder()
{
    return Installed() ? UserLogFolder() : QCoreApplication::applicationDirPath();
}

QString EnterUserFolders()
{
    if (!Installed())
        return QString();
    for (const QString &folder : {UserWorkingFolder(), UserLogFolder()}) {
        if (!QDir().mkpath(folder))
            return QStringLiteral("フォルダ %1 を作成できません。").arg(folder);
    }
    if (!QDir::setCurrent(UserWorkingFolder()))
        return QStringLiteral("作業フォルダ %1 に移れません。").arg(UserWorkingFolder());
    return QString();
}

} // namespace StationFolders
