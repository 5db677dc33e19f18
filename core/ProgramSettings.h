// The one settings record of the station, loaded from and saved to the settings file by
// the main window (app/Settings.cpp).
#pragma once

#include <QString>

// The one settings record of the station. Lives on the GUI thread only.
struct TProgramSettings {
    int ID = 233;
    int VerUpNo = 0;
    int Speaker = 3;
    int Voicetype = 5;
    int Voiceint = 5;
    int Voicew = 6;
    int Voicem = 6;
    int Speed = 6;
    int Vol = 5;
    int Onsei = 0;
    int Alge = 0;
    int Automode = 0;
    QString CurrentTcode; // event the working windows use; never saved
};

extern TProgramSettings ProgramSettings;
