#pragma once
#include "DirectoryBulk.h"
#include "KordavinUtils.h"

#include <windows.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// What the directory window lists: every row, the search over them, or why
// the files could not be read.
struct TDirectoryContent {
    std::vector<DirectoryRow> Rows;
    std::unique_ptr<DirectorySearch> Search;
    std::wstring ReadError;
};

// Reads the folder's rows and prepares their search; a failure becomes
// ReadError and no rows.
TDirectoryContent ReadDirectoryContent(const std::wstring& folder, const TDiallingSettings& dialling);

// Reads a directory on a thread of its own, so that a window with 100,000 rows
// shows at once; the thread posts `message` to `window` when the content is
// ready and never touches the window otherwise. The destructor waits for it.
class TDirectoryLoader {
public:
    TDirectoryLoader(std::wstring folder, TDiallingSettings dialling, HWND window, UINT message);
    ~TDirectoryLoader();
    TDirectoryLoader(const TDirectoryLoader&) = delete;
    TDirectoryLoader& operator=(const TDirectoryLoader&) = delete;

    // The content once it is ready (it is handed out once); nothing before.
    std::optional<TDirectoryContent> Take();

private:
    std::mutex FLock;  // guards FContent
    std::optional<TDirectoryContent> FContent;
    std::thread FThread;
};
