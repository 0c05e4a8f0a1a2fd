// The program's start and end around the main window: the engine's start-ups, the engine's
// message boxes routed to the UI port, and the engine's shut-down when the window has closed.
#pragma once

#include "platform/ui/ui.h"

namespace app {

inline constexpr const char* kApplicationTitle = "Agemill";

// Sets the application title "Agemill", runs the engine's start-up and the dataset unit's (the
// engine's layers install their hooks there) and routes the engine's message boxes and progress
// windows to `ui` until ProgramShutdown. `ui` must stay alive until then.
void ProgramStartup(platform::ui::Ui& ui);

// Shuts the engine down (closing every work area) and detaches the UI port from it.
void ProgramShutdown();

}  // namespace app
