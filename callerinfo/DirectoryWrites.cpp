#include "DirectoryWrites.h"

#include <utility>

namespace {

class TFolderDirectoryWrites final : public IDirectoryWrites {
public:
    explicit TFolderDirectoryWrites(std::wstring folder) : FFolder(std::move(folder)) {}
    void Put(const DirectoryRow& row) override { PutDirectoryRow(FFolder, row); }
    void Delete(const std::wstring& phone) override { DeleteDirectoryRow(FFolder, phone); }
    std::size_t Import(const ImportPreview& preview, ImportProgress* progress) override {
        return ApplyImport(FFolder, preview, progress);
    }

private:
    const std::wstring FFolder;
};

}  // namespace

std::shared_ptr<IDirectoryWrites> FolderDirectoryWrites(std::wstring folder) {
    return std::make_shared<TFolderDirectoryWrites>(std::move(folder));
}
