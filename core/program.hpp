// The plug-in's load and unload: its state made when the DLL is loaded and
// freed when it is unloaded.
#pragma once
#include <string>

namespace zoq {

// Load and unload. `runDirectory` empty: the folder of the process's
// executable, which also becomes the current directory.
void ProgramStart(const std::string& runDirectory = {});
void ProgramExit();

}  // namespace zoq
