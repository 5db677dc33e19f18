#include "Settings.h"

#include "ProfileFile.h"
#include "ProgramSettings.h"

TMainFormSettings LoadSettings(const QString &path)
{
    auto read = [&path](const char *section, const char *key, int fallback) {
        return ProfileFile::ReadInteger(path, QLatin1String(section), QLatin1String(key), fallback);
    };
    TMainFormSettings form;
    TProgramSettings &s = ProgramSettings;
    form.Top = read("MainForm", "Top", 0);
    form.Left = read("MainForm", "Left", 0);
    s.ID = read("AMB", "ID", 233);
    s.VerUpNo = read("AMB", "VerUpNo", 0);
    s.Speaker = read("Talk", "Speaker", 3);
    s.Voicetype = read("Talk", "Voicetype", 5);
    s.Voiceint = read("Talk", "Voiceint", 5);
    s.Voicew = read("Talk", "Voicew", 6);
    s.Voicem = read("Talk", "Voicem", 6);
    s.Speed = read("Talk", "Speed", 6);
    s.Vol = read("Talk", "Vol", 5);
    s.Onsei = read("Talk", "Onsei", 0);
    s.Alge = read("Port", "Alge", 0);
    s.Automode = read("Syori", "Automode", 0);
    form.DataIndex = read("DB", "DataIndex", 0);
    form.TpNoSet = read("MainForm", "TpNoSet", 0) == 1;
    return form;
}

void SaveSettings(const QString &path, const TMainFormSettings &form)
{
    auto write = [&path](const char *section, const char *key, int value) {
        ProfileFile::WriteSetting(path, QLatin1String(section), QLatin1String(key), QString::number(value));
    };
    const TProgramSettings &s = ProgramSettings;
    write("MainForm", "Left", form.Left);
    write("MainForm", "Top", form.Top);
    write("AMB", "ID", s.ID);
    write("AMB", "VerUpNo", s.VerUpNo);
    write("Talk", "Speaker", s.Speaker);
    write("Talk", "Voicetype", s.Voicetype);
    write("Talk", "Voiceint", s.Voiceint);
    write("Talk", "Voicew", s.Voicew);
    write("Talk", "Voicem", s.Voicem);
    write("Talk", "Speed", s.Speed);
    write("Talk", "Vol", s.Vol);
    write("Talk", "Onsei", s.Onsei);
    write("Port", "Alge", s.Alge);
    write("Syori", "Automode", s.Automode);
    write("DB", "DataIndex", form.DataIndex);
}
