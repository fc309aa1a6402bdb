// Object creation for the sound and movie code.
#include "foundation/object_creation.h"

namespace morpotta {

CreateInstanceFunction CoCreateInstanceEntry = platform::media::CreateMediaObject;

}  // namespace morpotta
