// MPEG audio decoded through a private media graph into in-memory PCM: the
// converter's last reader (reader mask bit 4).
#pragma once
#include "platform/mediagraph.h"
#include "sound/soundconv.h"

namespace morpotta {

// 0 with the converter's output format, block size and in-memory PCM set;
// -1 after a log line that says why.
int DecodeMp3WithDirectShow(SOUNDCONV* conv);
// Appends a sample's bytes to the converter's PCM (user is the converter);
// always kOk, so the sample travels on.
platform::media::Result Mp3GrabberCallback(platform::media::MediaSample* sample, int64_t* start, int64_t* stop,
                                           int typeChanged, void* user);
// The filter's first pin of that direction (0 input, 1 output) with a
// reference for the caller, or null.
platform::media::Pin* GetFilterPin(platform::media::Filter* filter, int direction);

}  // namespace morpotta
