#include "TrayMenu.h"

#include "MainFormRes.h"
#include "QuietTimeRes.h"

#include <gtest/gtest.h>

// Every item of the tray menu (and the window's "Выход") reaches its own
// choice; anything else is left to the settings window.
TEST(TrayMenuTest, EveryItemIsDecodedToItsChoice) {
    const struct {
        int id;
        TTrayChoice choice;
    } cases[] = {
        {IDM_PMNUOPTIONS, TTrayChoice::Options},       {IDM_PMNUDIRECTORY, TTrayChoice::Directory},
        {IDM_PMNUJOURNAL, TTrayChoice::Journal},       {IDM_PMNUDIAGNOSTICS, TTrayChoice::Diagnostics},
        {IDM_PMNUEXIT, TTrayChoice::Exit},             {IDC_BTNEXIT, TTrayChoice::Exit},
        {IDM_QUIET_HOUR, TTrayChoice::QuietHour},      {IDM_QUIET_MORNING, TTrayChoice::QuietMorning},
        {IDM_QUIET_ENDLESS, TTrayChoice::QuietEndless}, {IDM_QUIET_OFF, TTrayChoice::QuietOff},
        {IDM_QUIET_HOURS, TTrayChoice::QuietHours},    {IDC_BTNAPPLY, TTrayChoice::None},
        {IDC_CBACTIVE, TTrayChoice::None},             {0, TTrayChoice::None},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeTrayMenuCommand(c.id), c.choice) << c.id;
}
