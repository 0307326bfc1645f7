// What the tray icon shows of the connection: the hint's lines and the mark on the icon.
#include "TrayState.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::wstring kCaption = L"Информатор Kordavin";

TEST(TrayState, TheHintSaysWhyItIsReconnectingAndWhenItIsOffOnPurpose) {
    const struct {
        TConnectionState state;
        std::wstring reason;
        TTrayMark mark;
        std::wstring hint;
    } cases[] = {
        {TConnectionState::Connected, L"", TTrayMark::None, kCaption},
        {TConnectionState::Reconnecting, L"Соединение прервано сервером.", TTrayMark::Reconnecting,
         kCaption + L"\nПереподключение: Соединение прервано сервером."},
        {TConnectionState::Reconnecting, L"Ошибка подключения библиотеки 0x0000000A.", TTrayMark::Reconnecting,
         kCaption + L"\nПереподключение: Ошибка подключения библиотеки 0x0000000A."},
        {TConnectionState::Off, L"Соединение прервано сервером.", TTrayMark::Off,
         kCaption + L"\nОтключено от сервера записи"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.hint));
        const TTrayLook look = TrayLook(c.state, kCaption, c.reason);
        EXPECT_EQ(c.mark, look.Mark);
        EXPECT_EQ(c.hint, look.Hint);
    }
}

TEST(TrayState, TheMarkIsADotInTheCornerWhileReconnectingAndGreyWhenOff) {
    constexpr int size = 16;
    constexpr uint32_t blue = 0xFF2040C0;
    const std::vector<uint32_t> plain(size * size, blue);
    const auto at = [](const std::vector<uint32_t>& pixels, int x, int y) { return pixels[y * size + x]; };

    std::vector<uint32_t> same = plain;
    MarkTrayPixels(same, size, TTrayMark::None);
    EXPECT_EQ(plain, same);

    std::vector<uint32_t> reconnecting = plain;
    MarkTrayPixels(reconnecting, size, TTrayMark::Reconnecting);
    EXPECT_EQ(blue, at(reconnecting, 0, 0)) << "the icon itself stays";
    EXPECT_EQ(blue, at(reconnecting, size - 1, 0));
    EXPECT_EQ(blue, at(reconnecting, 0, size - 1));
    const uint32_t dot = at(reconnecting, size - 4, size - 4);
    EXPECT_NE(blue, dot);
    EXPECT_EQ(0xFFu, dot >> 24) << "the dot is opaque";
    EXPECT_GT((dot >> 16) & 0xFF, dot & 0xFF) << "warm, not blue";

    std::vector<uint32_t> off = plain;
    MarkTrayPixels(off, size, TTrayMark::Off);
    for (const uint32_t pixel : off) {
        const uint32_t r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
        ASSERT_TRUE(r == g && g == b) << std::hex << pixel;
        ASSERT_LT(pixel >> 24, 0xFFu) << "faint";
        ASSERT_LE(r, pixel >> 24) << "premultiplied";
    }

    std::vector<uint32_t> tooFew(3, blue);
    MarkTrayPixels(tooFew, size, TTrayMark::Reconnecting);
    EXPECT_EQ(std::vector<uint32_t>(3, blue), tooFew) << "a wrong size is left alone";
}

TEST(TrayState, TheDrawnIconHasTheSizeAsked) {
    HICON plain = ::LoadIconW(nullptr, IDI_APPLICATION);
    for (const TTrayMark mark : {TTrayMark::Reconnecting, TTrayMark::Off}) {
        HICON drawn = DrawTrayIcon(plain, mark, 24);
        ASSERT_NE(nullptr, drawn);
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(drawn, &info));
        BITMAP bitmap{};
        ::GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(24, bitmap.bmWidth);
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        ::DestroyIcon(drawn);
    }
}

}  // namespace
