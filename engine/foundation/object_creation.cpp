// Object creation for the sound and movie code.
#include "foundation/object_creation.h"

CreateInstanceFunction CoCreateInstanceEntry = platform::media::CreateMediaObject;
