// The two questions a Linux program answers on its command line, --version and --help;
// anything else on the command line is ignored, as the station takes no arguments.
#pragma once

// When argv holds --version or --help, prints the answer on standard output and returns
// true: the program then ends without opening a window. Otherwise returns false.
bool AnswerCommandLine(int argc, char *argv[]);
