#pragma once
// Files of the program folder on the real file system; both adapters use it. The player's
// files (see data_folder.h) are read and written in the data folder instead.

#include <filesystem>
#include <functional>

#include "platform/ports.h"

namespace zorvan {

class FolderFiles final : public Files {
public:
    explicit FolderFiles(std::filesystem::path root) : root_(root), data_(std::move(root)) {}
    FolderFiles(std::filesystem::path root, std::filesystem::path data)
        : root_(std::move(root)), data_(std::move(data)) {}
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
    void removeStaleTemporaries() override;
    std::string unreadableReason(std::string_view name) override;

private:
    std::filesystem::path pathOf(std::string_view name) const;

    std::filesystem::path root_;
    std::filesystem::path data_;
    std::function<void(std::string_view)> onWrite_;
    bool synced_ = true;
};

// Writes `bytes` to `path` through a temporary file beside it and a rename. `synced`: the data
// reaches the disk before the rename, so that not even a power cut leaves an empty file.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, bool synced = true);
std::optional<std::string> readWholeFile(const std::filesystem::path& path);
// Deletes from `folder` the temporary files of writeFileAtomically ("NAME.tmpPID") that an
// interrupted write left, for the NAMEs that `ours` accepts: those of a process that is gone
// (or of this one, before it has written anything), and any over a minute old.
void removeStaleTemporaries(const std::filesystem::path& folder,
                            const std::function<bool(std::string_view name)>& ours);

}  // namespace zorvan
