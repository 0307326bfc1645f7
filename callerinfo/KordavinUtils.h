#pragma once
#include <string>
#include <vector>

// Brings a presented phone number to its canonical international form: country
// code, area code and subscriber number, without "+" or any access prefix.
// Kind: 1, 4, 32 incoming; 2 outgoing; bit 64 ignored.
std::wstring NormalizePhoneNumber(const std::wstring& Phone, int Kind, const std::wstring& CountryCode,
                                  const std::wstring& CityCode, const std::vector<std::wstring>& CityPrefixes,
                                  const std::vector<std::wstring>& WorldPrefixes,
                                  const std::vector<std::wstring>& CountryPrefixes, bool UseCityPrefixForIncoming);
