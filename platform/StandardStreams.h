// StandardStreams: what a command-line tool needs to know and set about its
// standard streams beyond what the C library offers portably.
//
// SetStandardOutputBinary makes stdout pass bytes through unchanged: the
// Windows C library would otherwise turn each 0x0A into 0x0D 0x0A and stop a
// program reading at 0x1A. Elsewhere there is nothing to change.
// StandardOutputIsTerminal and StandardErrorIsTerminal tell whether stdout
// or stderr goes to a terminal (a person watching) rather than to a file or
// a pipe.
#pragma once

void SetStandardOutputBinary();
bool StandardOutputIsTerminal();
bool StandardErrorIsTerminal();
