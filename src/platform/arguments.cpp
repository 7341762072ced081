#include "platform/arguments.h"

#ifdef _WIN32
#include "platform/win/wide.h"

#include <shellapi.h>
#endif

namespace zorvan {

std::vector<std::string> commandLine(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> args;
        for (int i = 0; i < count; ++i) args.push_back(narrow(wide[i]));
        LocalFree(wide);
        return args;
    }
#endif
    return std::vector<std::string>(argv, argv + argc);
}

}  // namespace zorvan
