#pragma once
#include <exception>
#include <string>

// The program's error: a user-readable UTF-16 message, shown as it stands on the
// status line or in a message box.
class AppError : public std::exception {
public:
    explicit AppError(std::wstring message);
    const std::wstring& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    std::wstring message_;
    std::string utf8_;
};
