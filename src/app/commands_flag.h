// The commands-enabled flag: 1 while the commands that a capture batch must
// not run alongside may run, 0 while a batch owns the source. The main frame
// sets it; the commands, drops and the slider read it. User-interface thread
// only.
#pragma once

extern int gCommandsEnabled;
