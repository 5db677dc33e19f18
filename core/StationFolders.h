// Where the station keeps its files. Run from a folder it can write (a build tree, a
// copied folder) it behaves as on the race workstation: the settings file in the working
// folder, the log beside the program. Installed (the program in the package's bin folder,
// or in any folder it cannot write) a root-owned /usr/bin must not collect logs and a
// menu start gives no useful working folder, so per-user folders take their place.
#pragma once

#include <QString>

namespace StationFolders
{

// "VidadIva.ini" of the current working folder: the station's settings file, named anew
// at every use (an installed station's working folder is UserWorkingFolder()).
QString SettingsFile();

// True when the program runs from where the package installs it, or from a folder it
// cannot write: then the per-user folders below are used.
bool Installed();

// $XDG_DATA_HOME/midstation, normally ~/.local/share/midstation: the working folder of
// an installed station (settings file, drive-D folder, announcements), the same the
// rehearsal works in.
QString UserWorkingFolder();

// $XDG_STATE_HOME/midstation, normally ~/.local/state/midstation: the log folder of an
// installed station.
QString UserLogFolder();

// Folder of "VidadIva.log": the program's folder, or UserLogFolder() when installed.
QString LogFolder();

// For an installed station: creates the per-user folders and makes the working folder
// current. Returns an empty text on success, otherwise what went wrong (in Japanese).
// Does nothing when the station runs from a folder it can write.
QString EnterUserFolders();

} // namespace StationFolders
