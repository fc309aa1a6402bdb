// The texts and pictures over the play field: the clock and records of the
// stage's mode, and the pictures of its ready, go and end phases.
// Stage::Draw calls both after the field; they draw nothing in 3-D.
#pragma once

class Stage;

// The mode's HUD: the remaining or elapsed time, the time-attack records,
// the sudden-death call, the attract demo's logo and "G A M E  O V E R".
void DrawStageHud(const Stage& stage);

// The ready band with its picture, the go picture, the end-of-stage
// picture (with the closing fade of a run's last stage), and the unlock
// and versus-winner lines. Nothing in the attract demo. The go picture
// shakes by the engine's random numbers; the closing fade sets the music
// volume.
void DrawStagePhasePictures(const Stage& stage);

// "%4d'%02d": whole seconds and hundredths of a time in milliseconds.
void FormatPlayTime(char* out, int size, int milliseconds);
// A record time as FormatPlayTime, or "  --'--" for none (99999999).
void FormatRecordTime(char* out, int size, int milliseconds);
