// libmpg123 set up the one way every MPEG audio decoder of the platform
// uses it: 16-bit output at the first frame's rate and channel count
// (mono mixed down or stereo forced to match), no gapless trimming, and an
// encoder's info frame decoded as an ordinary (silent) frame, so that every
// frame yields exactly its samples.
#pragma once
#include <mpg123.h>

namespace morpotta::platform {

// Null when memory runs out; free with mpg123_delete.
mpg123_handle* NewMpegDecoder(long rate, int channels);

}  // namespace morpotta::platform
