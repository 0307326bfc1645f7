#include "DirectoryLoader.h"

#include "ExceptionText.h"

TDirectoryContent ReadDirectoryContent(const std::wstring& folder, const TDiallingSettings& dialling) {
    TDirectoryContent content;
    try {
        content.Rows = ReadDirectoryRows(folder);
    } catch (...) {
        content.Rows.clear();
        content.ReadError = GetExceptionText(std::current_exception());
    }
    content.Search = std::make_unique<DirectorySearch>(content.Rows, dialling);
    return content;
}

TDirectoryLoader::TDirectoryLoader(std::wstring folder, TDiallingSettings dialling, HWND window, UINT message)
    : FThread([this, folder = std::move(folder), dialling = std::move(dialling), window, message] {
          // Nothing leaves the thread: the window is told in every case, and a
          // content that could not be made is an empty list with its reason.
          TDirectoryContent content;
          try {
              content = ReadDirectoryContent(folder, dialling);
          } catch (...) {
              content = TDirectoryContent();
              try {
                  content.ReadError = GetExceptionText(std::current_exception());
              } catch (...) {
              }
          }
          try {
              const std::lock_guard<std::mutex> guard(FLock);
              FContent = std::move(content);
          } catch (...) {
          }
          ::PostMessageW(window, message, 0, 0);
      }) {}

TDirectoryLoader::~TDirectoryLoader() { FThread.join(); }

std::optional<TDirectoryContent> TDirectoryLoader::Take() {
    const std::lock_guard<std::mutex> guard(FLock);
    std::optional<TDirectoryContent> content = std::move(FContent);
    FContent.reset();
    return content;
}
