// StandardStreams: what a command-line tool needs to know and set about its
// standard streams beyond what the C library offers portably.
//
// SetStandardOutputBinary makes stdout pass bytes through unchanged: the
// Windows C library would otherwise turn each 0x0A into 0x0D 0x0A and stop a
// program reading at 0x1A. Elsewhere there is nothing to change.
// StandardOutputIsTerminal and StandardErrorIsTerminal tell whether stdout
// or stderr goes to a terminal (a person watching) rather than to a file or
// a pipe.
//
// ConsoleOpenedForThisProgram tells whether the program runs in a console
// window that the system opened for it alone, as for a program started from
// Explorer (a folder dropped on it) rather than from a command prompt: that
// window closes the moment the program ends, so such a program waits with
// WaitForKeyPress until its last words have been read. Elsewhere there is no
// such window: false, and WaitForKeyPress returns at once.
#pragma once

void SetStandardOutputBinary();
bool StandardOutputIsTerminal();
bool StandardErrorIsTerminal();
bool ConsoleOpenedForThisProgram();
void WaitForKeyPress();
