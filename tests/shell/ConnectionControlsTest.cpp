#include "ConnectionControls.h"
#include "MainFormRes.h"

#include <gtest/gtest.h>

#include <map>

namespace {

std::map<int, bool> AsMap(const std::vector<TControlState>& states) {
    std::map<int, bool> map;
    for (const TControlState& state : states) EXPECT_TRUE(map.emplace(state.Id, state.On).second) << state.Id;
    return map;
}

TEST(ConnectionControls, FollowTheConnectBoxTheSharedDirectoryAndARunningTest) {
    const struct {
        const char* what;
        TConnectionChoice choice;
        bool server, folders, address, test;
    } cases[] = {
        {"nothing chosen", {}, true, true, false, false},
        {"connected", {true, false, false, false}, false, false, false, false},
        {"a directory server", {false, true, false, false}, true, true, false, false},
        {"a client reads the server's folders", {false, true, true, false}, true, false, true, true},
        {"a client while a test runs", {false, true, true, true}, true, false, true, false},
        {"connected client", {true, true, true, false}, false, false, true, true},
        // The client's choice is kept with the group hidden; the folders are this PC's then.
        {"client chosen, the shared directory off", {false, false, true, false}, true, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::map<int, bool> enabled = AsMap(EnabledConnectionControls(c.choice));
        EXPECT_EQ(c.server, enabled.at(IDC_LESERVER));
        EXPECT_EQ(c.server, enabled.at(IDC_BTNSELECTSERVER));
        for (int id : {IDC_LEAREAPATH, IDC_BTNBROWSEAREAPATH, IDC_LEABONENTPATH, IDC_BTNBROWSEABONENTPATH})
            EXPECT_EQ(c.folders, enabled.at(id)) << id;
        EXPECT_EQ(c.address, enabled.at(IDC_ADDRESSLABELEDEDIT));
        EXPECT_EQ(c.address, enabled.at(IDC_SELECTADDRESSBUTTON));
        EXPECT_EQ(c.test, enabled.at(IDC_TESTDBCONNECTIONBUTTON));
        const std::map<int, bool> shown = AsMap(ShownConnectionControls(c.choice));
        for (int id : {IDC_DBTYPE_CLIENT, IDC_ADDRESSLABELEDEDIT, IDC_TESTDBCONNECTIONBUTTON, IDC_DBALLOWEDCLIENTS})
            EXPECT_EQ(c.choice.UseRemote, shown.at(id)) << id;
    }
}

}  // namespace
