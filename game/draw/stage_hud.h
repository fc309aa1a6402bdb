// The texts and pictures over the play field: the clock and records of the
// stage's mode, and the pictures of its ready, go and end phases.
// Stage::Draw calls both after the field; they draw nothing in 3-D.
#pragma once

class Stage;

// How much of what is drawn over the field (the HUD, the cats' labels and
// effects, the unlock and winner lines) shows while the stage fades out at
// its end (the field's opacity from 1 down to 0), 0..255 to scale their
// alphas by. They are gone halfway: a label has no cat under it once the
// cat has faded, and the session keeps the stage's last drawn picture
// behind a versus round's result, which must show the field and the result
// alone (with the draw period, that picture may come two frames before the
// fade's end).
int OverFieldShare(float fieldOpacity);

// The mode's HUD: the remaining or elapsed time, the time-attack records,
// the sudden-death call, the attract demo's logo and "G A M E  O V E R";
// at `share` (OverFieldShare), nothing at 0.
void DrawStageHud(const Stage& stage, int share);

// The ready band with its picture, the go picture, the end-of-stage
// picture (with the closing fade of a run's last stage), and the unlock
// and versus-winner lines at `share`. Nothing in the attract demo. The go
// picture shakes by the engine's random numbers; the closing fade sets the
// music volume.
void DrawStagePhasePictures(const Stage& stage, int share);

// "%4d'%02d": whole seconds and hundredths of a time in milliseconds.
void FormatPlayTime(char* out, int size, int milliseconds);
// A record time as FormatPlayTime, or "  --'--" for none (99999999).
void FormatRecordTime(char* out, int size, int milliseconds);
