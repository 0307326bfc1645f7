// Where the settings window meets directory sharing: the directory server's
// restart after an apply and the client's connection test. Until sharing is
// built in, there is no server to restart and no server to reach.
#include "FormMain.h"

#include "ResourceText.h"

void TMainForm::RestartDBServer() {}

TDBTestOutcome TMainForm::TestDBConnection(const std::wstring&, int) {
    return {LoadResourceString(IDS_DB_CONNECT_FAILED), MB_ICONWARNING};
}
