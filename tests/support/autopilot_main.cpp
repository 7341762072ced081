// zorvan-autopilot FOLDER SEED OUT [SERVER]: writes to OUT the key script of a game worth
// submitting (see autopilot_keys.h), for the tests that play it as a program, on another
// system or through a real window. SERVER (default: nothing listening) is the score server in
// the pilot's own settings.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/autopilot_keys.h"

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: zorvan-autopilot FOLDER SEED OUT [SERVER]\n");
        return 2;
    }
    char* end = nullptr;
    const unsigned long long seed = std::strtoull(argv[2], &end, 10);
    if (!*argv[2] || *end) {
        std::fprintf(stderr, "zorvan-autopilot: the seed \"%s\" is not a number\n", argv[2]);
        return 2;
    }
    const fs::path out = argv[3];
    const fs::path dir = fs::temp_directory_path() / ("zorvan-autopilot-" + std::to_string(::getpid()));
    std::string error, script;
    try {
        fs::remove_all(dir);
        fs::create_directories(dir);
        script = zorvan::test::autopilotKeyScript(argv[1], seed, dir, argc == 5 ? argv[4] : "http://127.0.0.1:9",
                                                  error);
    } catch (const std::exception& e) {
        error = e.what();
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    if (!error.empty()) {
        std::fprintf(stderr, "zorvan-autopilot: %s\n", error.c_str());
        return 1;
    }
    // Written whole or not at all: a test must never play half a script.
    const fs::path partial = out.string() + ".partial";
    {
        std::ofstream file(partial, std::ios::binary);
        file << script;
        if (!file.flush()) {
            std::fprintf(stderr, "zorvan-autopilot: cannot write %s\n", partial.c_str());
            return 1;
        }
    }
    fs::rename(partial, out, ignored);
    if (ignored) {
        std::fprintf(stderr, "zorvan-autopilot: cannot write %s: %s\n", out.c_str(), ignored.message().c_str());
        return 1;
    }
    return 0;
}
