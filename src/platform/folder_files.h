#pragma once
// Files of the program folder on the real file system; both adapters use it.

#include <filesystem>
#include <functional>

#include "platform/ports.h"

namespace zorvan {

class FolderFiles final : public Files {
public:
    explicit FolderFiles(std::filesystem::path root) : root_(std::move(root)) {}
    // Told the name of every file rewritten (the simulated platform logs it).
    void setWriteListener(std::function<void(std::string_view)> listener) {
        onWrite_ = std::move(listener);
    }
    // Writes stay atomic but skip waiting for the disk (a simulated run has no power cut to
    // survive, and the wait is most of its time).
    void setSynced(bool synced) { synced_ = synced; }

    bool exists(std::string_view name) override;
    std::optional<std::string> read(std::string_view name) override;
    bool write(std::string_view name, std::string_view bytes) override;
    bool remove(std::string_view name) override;
    std::string absolutePath(std::string_view name) override;

private:
    std::filesystem::path root_;
    std::function<void(std::string_view)> onWrite_;
    bool synced_ = true;
};

// Writes `bytes` to `path` through a temporary file beside it and a rename. `synced`: the data
// reaches the disk before the rename, so that not even a power cut leaves an empty file.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, bool synced = true);
std::optional<std::string> readWholeFile(const std::filesystem::path& path);

}  // namespace zorvan
