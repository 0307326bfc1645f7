#include "AppError.h"

#include "TextConvert.h"

AppError::AppError(std::wstring message) : message_(std::move(message)), utf8_(WideToUtf8(message_)) {}
