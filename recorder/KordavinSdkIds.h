#pragma once
#include <windows.h>
#include <oaidl.h>

// The recording server SDK's identifiers: the client reaches the object by them,
// and the simulated server answers to the same ones.

// {7D2E91A4-3C58-4B6F-9E12-5A0C7F3B8D61}
inline constexpr CLSID CLSID_KordavinClientW = {
    0x7D2E91A4, 0x3C58, 0x4B6F, {0x9E, 0x12, 0x5A, 0x0C, 0x7F, 0x3B, 0x8D, 0x61}};
inline constexpr wchar_t kKordavinClientWClsidText[] = L"{7D2E91A4-3C58-4B6F-9E12-5A0C7F3B8D61}";

// The dispatch-only interface IKordavinClientWDisp.
// {B83F0C27-61D4-4E9A-A7C5-0F2D9B6E4A18}
inline constexpr IID IID_IKordavinClientWDisp = {
    0xB83F0C27, 0x61D4, 0x4E9A, {0xA7, 0xC5, 0x0F, 0x2D, 0x9B, 0x6E, 0x4A, 0x18}};

// The three methods called, by dispatch identifier.
inline constexpr DISPID DISPID_KDV_CONNECT = 201;
inline constexpr DISPID DISPID_KDV_READ_MESSAGE = 206;
inline constexpr DISPID DISPID_KDV_GET_CHANNEL_LIST = 210;
