#include "ConnectionControls.h"

#include "MainFormRes.h"

namespace {

// Everything inside the shared-directory group, shown and hidden with it.
constexpr int kSharedDirectoryControls[] = {
    IDC_GROUPBOX1,       IDC_DBTYPERADIOGROUP,       IDC_DBTYPE_SERVER,       IDC_DBTYPE_CLIENT,
    IDC_ADDRESS_LABEL,   IDC_ADDRESSLABELEDEDIT,     IDC_SELECTADDRESSBUTTON, IDC_PORT_LABEL,
    IDC_PORTSPINEDIT,    IDC_PORTSPIN,               IDC_SETDEFAULTPORTBUTTON, IDC_TESTDBCONNECTIONBUTTON,
    IDC_DBALLOWEDCLIENTS_LABEL, IDC_DBALLOWEDCLIENTS,
};

}  // namespace

std::vector<TControlState> EnabledConnectionControls(const TConnectionChoice& choice) {
    const bool folders = !choice.Active && !(choice.UseRemote && choice.AsClient);
    return {
        {IDC_LESERVER, !choice.Active},
        {IDC_BTNSELECTSERVER, !choice.Active},
        {IDC_LEAREAPATH, folders},
        {IDC_BTNBROWSEAREAPATH, folders},
        {IDC_LEABONENTPATH, folders},
        {IDC_BTNBROWSEABONENTPATH, folders},
        {IDC_ADDRESSLABELEDEDIT, choice.AsClient},
        {IDC_SELECTADDRESSBUTTON, choice.AsClient},
        {IDC_TESTDBCONNECTIONBUTTON, choice.AsClient && !choice.CheckRunning},
    };
}

std::vector<TControlState> ShownConnectionControls(const TConnectionChoice& choice) {
    std::vector<TControlState> shown;
    for (int id : kSharedDirectoryControls) shown.push_back({id, choice.UseRemote});
    return shown;
}
