#include "DirectoryImportLayout.h"

#include "DirectoryBrowserRes.h"

#include <iterator>

namespace {

struct Bounds96 {
    int control;
    int left, top, width, height;
};

constexpr Bounds96 kLayout[] = {
    {IDC_DIRIMPORT_FILE, 8, 8, 744, 16},
    {IDC_DIRIMPORT_NUMBER_LABEL, 8, 30, 244, 16},
    {IDC_DIRIMPORT_NUMBER, 8, 46, 244, 112},
    {IDC_DIRIMPORT_NAME_LABEL, 258, 30, 244, 16},
    {IDC_DIRIMPORT_NAME, 258, 46, 244, 112},
    {IDC_DIRIMPORT_COMMENT_LABEL, 508, 30, 244, 16},
    {IDC_DIRIMPORT_COMMENT, 508, 46, 244, 112},
    {IDC_DIRIMPORT_ORGANIZATION_LABEL, 8, 170, 84, 16},
    {IDC_DIRIMPORT_ORGANIZATION, 92, 166, 238, 22},
    {IDC_DIRIMPORT_REPLACE, 344, 168, 408, 18},
    {IDC_DIRIMPORT_ROWS_LABEL, 8, 196, 744, 16},
    {IDC_DIRIMPORT_ROWS, 8, 212, 744, 160},
    {IDC_DIRIMPORT_COUNTS, 8, 376, 744, 16},
    {IDC_DIRIMPORT_REJECTED_LABEL, 8, 396, 744, 16},
    {IDC_DIRIMPORT_REJECTED, 8, 412, 744, 80},
    {IDC_DIRIMPORT_STATUS, 8, 505, 330, 16},
    {IDC_DIRIMPORT_PROGRESS, 344, 503, 230, 18},
    {IDOK, 584, 500, 80, 25},
    {IDCANCEL, 672, 500, 80, 25},
};

}  // namespace

std::vector<TControlPlace> ImportFormLayout(int dpi) {
    const auto scaled = [dpi](int pixels) { return ::MulDiv(pixels, dpi, USER_DEFAULT_SCREEN_DPI); };
    std::vector<TControlPlace> places;
    places.reserve(std::size(kLayout));
    for (const Bounds96& b : kLayout)
        places.push_back({b.control, {scaled(b.left), scaled(b.top), scaled(b.left + b.width), scaled(b.top + b.height)}});
    return places;
}
