#include "CommandLine.h"

#include <cstdio>
#include <cstring>

namespace
{

const char *const helpText = "Usage: midstation [--version | --help]\n"
                             "\n"
                             "The mid station of the ski-race timing system: chip-tag and photocell mid timing,\n"
                             "mid rankings, Japanese announcements, transponder registration.\n"
                             "It opens its main window (中間計時) and takes no other arguments.\n"
                             "\n"
                             "Files of an installed station (run from " MIDSTATION_INSTALL_BINDIR "):\n"
                             "  ~/.local/share/midstation/VidadIva.ini   settings ($XDG_DATA_HOME/midstation)\n"
                             "  ~/.local/share/midstation/drive-d/a.txt  query file of the check list\n"
                             "  ~/.local/state/midstation/VidadIva.log   log of the chip-tag mid times\n"
                             "                                           ($XDG_STATE_HOME/midstation)\n"
                             "Run from a folder it can write (a build tree), the settings file lies in the working\n"
                             "folder and the log beside the program.\n"
                             "\n"
                             "Race databases: the ODBC data sources PlovoLocal, PlovoTest and PlovoServer in\n"
                             "/etc/odbc.ini or ~/.odbc.ini (ODBCSYSINI and ODBCINI move them). Serial ports need\n"
                             "membership of the dialout group. See midstation(1).\n";

} // namespace

bool AnswerCommandLine(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("midstation %s\n", MIDSTATION_VERSION);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(helpText, stdout);
            return true;
        }
    }
    return false;
}
