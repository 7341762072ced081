#pragma once
// The command line as UTF-8 strings. Windows hands main() its arguments in the ANSI code
// page, which cannot hold every name ("Zoë" in a Russian locale); they are taken from the
// UTF-16 command line there instead.

#include <string>
#include <vector>

namespace zorvan {

std::vector<std::string> commandLine(int argc, char** argv);

}  // namespace zorvan
