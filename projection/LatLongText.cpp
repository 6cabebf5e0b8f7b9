#include "projection/LatLongText.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

char latitudeText[10];
char longitudeText[11];

// Formats |degrees| as whole degrees, minutes and seconds, rounding to the
// nearest second (halves up). Anything beyond the bound, and NaN, gives the
// empty text; the comparison is made on the double so that no huge value is
// ever converted to an integer.
const char* FormatAngle(double degrees, long boundSeconds, const char* negativeFormat,
                        const char* positiveFormat, char* buffer, size_t size) {
    const double rounded = std::fabs(degrees * 3600) + 0.5;
    if (!(rounded < static_cast<double>(boundSeconds + 1))) {
        buffer[0] = '\0';
        return buffer;
    }
    const long total = static_cast<long>(rounded);
    const int d = static_cast<int>(total / 3600);
    const int rem = static_cast<int>(total % 3600);
    std::snprintf(buffer, size, degrees < 0 ? negativeFormat : positiveFormat, d, rem / 60,
                  rem % 60);
    return buffer;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsMinuteTens(char c) {
    return c >= '0' && c <= '5';
}

double ParseAngle(const char* text, const char* pattern, int boundDegrees, char negative) {
    if (text == nullptr) {
        return 0.0;
    }
    char hemisphere = 0;
    int d = 0;
    int m = 0;
    int s = 0;
    const int fields = std::sscanf(text, pattern, &hemisphere, &d, &m, &s);
    long seconds = 0;
    if (fields >= 1 && d <= boundDegrees && m < 60 && s < 60) {
        seconds = (static_cast<long>(d) * 60 + m) * 60 + s;
    }
    const double result = seconds / 3600.0;
    const bool south = hemisphere == negative || hemisphere == negative - 'A' + 'a';
    return south ? -result : result;
}

} // namespace

const char* FormatLatitude(double degrees) {
    return FormatAngle(degrees, 90L * 3600, "S%02d:%02d:%02d", "N%02d:%02d:%02d", latitudeText,
                       sizeof latitudeText);
}

const char* FormatLongitude(double degrees) {
    return FormatAngle(degrees, 180L * 3600, "W%03d:%02d:%02d", "E%03d:%02d:%02d", longitudeText,
                       sizeof longitudeText);
}

bool IsValidLatitudeText(const char* text) {
    if (text == nullptr) {
        return false;
    }
    const size_t n = strnlen(text, 12);
    if (n < 9 || n > 11) {
        return false;
    }
    if (text[0] != 'N' && text[0] != 'S') {
        return false;
    }
    if (!IsDigit(text[1]) || !IsDigit(text[2]) || (text[1] == '9' && text[2] != '0')) {
        return false;
    }
    if (text[3] != ':' || !IsMinuteTens(text[4]) || !IsDigit(text[5])) {
        return false;
    }
    if (text[6] != ':' || !IsMinuteTens(text[7]) || !IsDigit(text[8])) {
        return false;
    }
    if (text[1] == '9' && (text[4] != '0' || text[5] != '0' || text[7] != '0' || text[8] != '0')) {
        return false;
    }
    // An optional tenth of a second; a lone full stop is not one.
    if (n > 9 && (text[9] != '.' || n < 11 || !IsDigit(text[10]))) {
        return false;
    }
    return true;
}

bool IsValidLongitudeText(const char* text) {
    if (text == nullptr) {
        return false;
    }
    const size_t n = strnlen(text, 13);
    if (n < 10 || n > 12) {
        return false;
    }
    if (text[0] != 'E' && text[0] != 'W') {
        return false;
    }
    if ((text[1] != '0' && text[1] != '1') || !IsDigit(text[2]) ||
        (text[1] == '1' && text[2] > '7') || !IsDigit(text[3])) {
        return false;
    }
    if (text[4] != ':' || !IsMinuteTens(text[5]) || !IsDigit(text[6])) {
        return false;
    }
    if (text[7] != ':' || !IsMinuteTens(text[8]) || !IsDigit(text[9])) {
        return false;
    }
    return true;
}

double ParseLatitude(const char* text) {
    return ParseAngle(text, "%c%02d:%02d:%02d", 90, 'S');
}

double ParseLongitude(const char* text) {
    return ParseAngle(text, "%c%03d:%02d:%02d", 180, 'W');
}
