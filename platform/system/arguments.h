#pragma once
// A command-line program's arguments and standard streams as the system hands them over, one
// implementation per system. Qt-free: for nuvak-cli.

#include <string>
#include <vector>

namespace nuvak::platform {

// The arguments after the program's name, in UTF-8. On Windows they come from the wide
// command line, since main's argv holds them in the ANSI code page (a Japanese folder name
// arrives as "??" there); elsewhere argv is UTF-8 already.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Standard output and error take bytes as written: on Windows they leave text mode, which
// would turn every "\n" into "\r\n"; elsewhere nothing changes.
void UseBinaryStandardStreams();

}  // namespace nuvak::platform
