// The settings file "VidadIva.ini" in the current working folder: where the main window
// stood, the voice settings, the photocell port, automatic processing, the voice switch
// and the chosen database. Read once when the main window is created, written once when
// it closes.
#pragma once

#include <QString>

struct TMainFormSettings {
    int Top = 0;
    int Left = 0;
    int DataIndex = 0;
    // "TpNoSet" of section "MainForm": 1 shows the transponder registration's button, which
    // is hidden otherwise. Set by hand by the crew; never written by the station.
    bool TpNoSet = false;
};

// Reads every key in the load order into ProgramSettings and the returned main-window
// values. A missing file or key gives the defaults, without a message.
TMainFormSettings LoadSettings(const QString &path);

// Writes every key in the save order. Raises EInOutError "<path> に書き込めません" at the
// first key that cannot be written; the keys after it are not written.
void SaveSettings(const QString &path, const TMainFormSettings &form);
