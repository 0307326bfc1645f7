#pragma once
#include <vector>

// Which of the settings window's connection controls the user may touch, from
// what its boxes say; window-free, so that the rules are tested by themselves.
struct TConnectionChoice {
    bool Active = false;        // the connect box
    bool UseRemote = false;     // the shared directory is used
    bool AsClient = false;      // this workstation is a client of another's directory server
    bool CheckRunning = false;  // "Тест соединения" has not ended yet
};

struct TControlState {
    int Id;
    bool On;
};

// The server and its picker while not connected; the folders while neither
// connected nor a client (a client reads the server's); the directory server's
// address and its buttons for a client, the test's button not while a test runs.
std::vector<TControlState> EnabledConnectionControls(const TConnectionChoice& choice);
// The shared directory's group, shown with its box.
std::vector<TControlState> ShownConnectionControls(const TConnectionChoice& choice);
