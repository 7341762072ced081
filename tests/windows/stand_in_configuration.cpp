// Stands in for Configuration.exe in the tests of the offer to open it: saves a profile where
// the real one would, and notes that it ran.
#include "platform/data_folder.h"
#include "platform/folder_files.h"

int main() {
    const auto data = zorvan::defaultDataFolder();
    if (data.empty()) return 1;
    const bool saved = zorvan::writeFileAtomically(data / "config.dat", "Ada Lovelace\r\nnun\r\nGB\r\n");
    return saved && zorvan::writeFileAtomically(data / "configuration-ran", "yes\n") ? 0 : 1;
}
