// Number routines: parsing, truncation, 128-bit arithmetic, rectangles.
#pragma once
#include <cstdint>

// Skips to the first digit or '-'; -1 when there is none.
int ParseDecimalInt(const char* text);
// Optional '-', digits, optional fraction and exponent; no digits give 0.0.
double ParseDecimalDouble(const char* text);

int TruncateFloatToInt(float v);    // toward zero; out of range saturates
int TruncateDoubleToInt(double v);
int ComputeAbsInt(int v);           // the most negative int stays as it is

// Unsigned 64 x 64 -> 128-bit product and 128 / 64-bit quotient on arrays
// of 32-bit words, low word first. The quotient keeps its low 64 bits; a
// zero divisor gives an all-ones quotient rather than a trap.
void MultiplyTo128Bits(const uint32_t a[2], const uint32_t b[2], uint32_t product[4]);
void DivideFrom128Bits(const uint32_t dividend[4], const uint32_t divisor[2], uint32_t quotient[2]);

// rect and clip are left, top, right, bottom (right and bottom exclusive).
// Raises right to left and bottom to top where they are below, then clamps
// every edge into the clip. 0, or -1 for a null rectangle or clip.
int ClipRectangle(int rect[4], const int clip[4]);
