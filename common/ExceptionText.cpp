#include "ExceptionText.h"

#include "AppError.h"
#include "TextConvert.h"

#include <windows.h>

#include <system_error>

std::wstring ExceptionText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const AppError& appError) {
        return appError.message();
    } catch (const std::system_error& systemError) {
        if (systemError.code().category() == std::system_category())
            return SystemErrorText(static_cast<unsigned long>(systemError.code().value()));
        return CodePageToWide(CP_ACP, systemError.what());
    } catch (const std::exception& other) {
        return CodePageToWide(CP_ACP, other.what());
    } catch (...) {
        return {};
    }
}
