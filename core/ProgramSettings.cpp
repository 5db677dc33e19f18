#include "ProgramSettings.h"

TProgramSettings ProgramSettings;
