#include "KordavinUtils.h"

// Placeholder until the numbering rules land: the number as presented.
std::wstring NormalizePhoneNumber(const std::wstring& Phone, int, const std::wstring&, const std::wstring&,
                                  const std::vector<std::wstring>&, const std::vector<std::wstring>&,
                                  const std::vector<std::wstring>&, bool) {
    return Phone;
}
