// ProgramArguments: the command line's arguments after the program's name,
// as UTF-8.
//
// On Windows main's argv holds the arguments in the narrow code page, where
// characters outside it are already lost; the wide command line is read
// instead. Elsewhere argv is taken as it is.
//
// UseUtf8Console makes a Windows console show the UTF-8 text the program
// writes (the console's own code page comes back when the program exits);
// output to files and pipes is bytes either way. Elsewhere it does nothing.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> ProgramArguments(int argc, char** argv);
void UseUtf8Console();
