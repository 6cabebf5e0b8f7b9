#pragma once

// Latitude and longitude as degrees, minutes and whole seconds with a
// hemisphere letter: N45:30:00, W075:10:05.
//
// The format functions write into one static buffer each and return it; the
// text stays valid until the next call of the same function. Out-of-range and
// non-finite input gives the empty text.
const char* FormatLatitude(double degrees);
const char* FormatLongitude(double degrees);

// Strict character-by-character shape checks.
bool IsValidLatitudeText(const char* text);
bool IsValidLongitudeText(const char* text);

// Signed degrees; text that does not fit gives 0. Check the text first.
double ParseLatitude(const char* text);
double ParseLongitude(const char* text);
