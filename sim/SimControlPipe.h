#pragma once

// Starts, once per process, the thread that answers control commands on this
// process's pipe and announces the pipe. Safe to call from any thread.
void StartSimControlPipe();
