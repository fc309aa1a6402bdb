// A reference mixer to measure the engine's own against: the host's
// general-purpose mixing library, run on demand without a sound card.
// Benchmarks only; not part of the platform library.
#pragma once
#include <cstdint>

namespace morpotta::platform {

// Opens the reference mixer at rate Hz, 16-bit stereo; false when it cannot.
bool OpenReferenceMixer(int rate, int channels);
void CloseReferenceMixer();
// Plays voices copies of pcm (16-bit stereo frames at the mixer's rate) in a
// loop, each on its own channel.
bool PlayReferenceVoices(const int16_t* pcm, int frames, int voices);
// Runs the mixer for frames output frames into out.
void RunReferenceMix(int16_t* out, int frames);

}  // namespace morpotta::platform
