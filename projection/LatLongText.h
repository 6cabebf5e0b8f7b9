#pragma once

// Latitude and longitude as degrees, minutes and whole seconds with a
// hemisphere letter: N45:30:00, W075:10:05. All numbers are signed degrees:
// north and east positive.
//
// The format functions write into one static buffer each and return it; the
// text stays valid until the next call of the same function (one latitude and
// one longitude text can be held together). They round to the nearest whole
// second, halves up; the letter follows the sign of the unrounded value.
// Input beyond [-90, 90] (latitude) or [-180, 180] (longitude) after
// rounding, and non-finite input, give the empty text.
const char* FormatLatitude(double degrees);
const char* FormatLongitude(double degrees);

// Strict character-by-character shape checks: "N" or "S", two-digit degrees
// up to 90:00:00, minutes and seconds 00 to 59, an optional ".d" tenth of a
// second; "E" or "W", three-digit degrees up to 179, minutes and seconds 00
// to 59, then up to two characters that are not looked at. Null is not
// valid.
bool IsValidLatitudeText(const char* text);
bool IsValidLongitudeText(const char* text);

// Signed degrees, negative for "S"/"s" and "W"/"w". Text that does not fit
// (degrees beyond 90 or 180, minutes or seconds of 60 or more, nothing
// readable, null) gives 0: check the text first. Missing trailing fields
// count as 0.
double ParseLatitude(const char* text);
double ParseLongitude(const char* text);
