// Entries of subsystems that are not part of the engine yet: each does
// nothing and reports success, so start-up and the message loop keep their
// order while the engine grows.
#include "foundation/subsystems.h"

namespace subsystems {

void StartOnScreenLog() {}

void ReleaseSoftwareImages() {}

void SuspendMovies() {}
void ResumeMovies() {}
void WhileInactive() {}

}  // namespace subsystems
