#include "projection/LatLongText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

TEST(LatLongText, FormatsRoundedToTheSecond) {
    EXPECT_STREQ(FormatLatitude(45.5), "N45:30:00");
    EXPECT_STREQ(FormatLatitude(-12.25), "S12:15:00");
    EXPECT_STREQ(FormatLatitude(89.99999), "N90:00:00");
    EXPECT_STREQ(FormatLatitude(90.0002), "");
    EXPECT_STREQ(FormatLatitude(0), "N00:00:00");
    EXPECT_STREQ(FormatLatitude(-0.0000001), "S00:00:00");
    EXPECT_STREQ(FormatLongitude(-75.168), "W075:10:05");
    EXPECT_STREQ(FormatLongitude(180), "E180:00:00");
    EXPECT_STREQ(FormatLongitude(180.0002), "");
    EXPECT_STREQ(FormatLongitude(std::numeric_limits<double>::quiet_NaN()), "");
    EXPECT_STREQ(FormatLatitude(std::numeric_limits<double>::infinity()), "");
    EXPECT_STREQ(FormatLatitude(-1e300), "");

    // Two buffers: a latitude and a longitude text can be held together.
    const char* lat = FormatLatitude(1.5);
    const char* lon = FormatLongitude(2.5);
    EXPECT_STREQ(lat, "N01:30:00");
    EXPECT_STREQ(lon, "E002:30:00");
}

TEST(LatLongText, ShapeChecksAreStrict) {
    for (const char* good : {"N90:00:00", "N45:30:00.5", "S00:00:00", "S89:59:59"}) {
        EXPECT_TRUE(IsValidLatitudeText(good)) << good;
    }
    for (const char* bad : {"N90:00:01", "n45:30:00", "N45:60:00", "N45:30:00.", "N45:30:0",
                            "N45:30:00.5x", "N45-30:00", "E45:30:00", "", "N91:00:00"}) {
        EXPECT_FALSE(IsValidLatitudeText(bad)) << bad;
    }
    EXPECT_FALSE(IsValidLatitudeText(nullptr));
    for (const char* good : {"E179:59:59", "E010:20:30xy", "W000:00:00", "W099:59:59"}) {
        EXPECT_TRUE(IsValidLongitudeText(good)) << good;
    }
    for (const char* bad : {"E180:00:00", "E10:20:30", "e010:20:30", "E010:60:00", "E210:00:00",
                            "E010:20:30xyz", "N010:20:30"}) {
        EXPECT_FALSE(IsValidLongitudeText(bad)) << bad;
    }
    EXPECT_FALSE(IsValidLongitudeText(nullptr));
}

TEST(LatLongText, ParsesSignedDegrees) {
    EXPECT_DOUBLE_EQ(ParseLatitude("S45:30:00"), -45.5);
    EXPECT_DOUBLE_EQ(ParseLatitude("N95:00:00"), 0);
    // Minutes and seconds run to 59: a field of 60 makes the text not fit.
    EXPECT_DOUBLE_EQ(ParseLatitude("S45:30:59"), -(45 + 30 / 60.0 + 59 / 3600.0));
    EXPECT_DOUBLE_EQ(ParseLatitude("N45:30:60"), 0);
    EXPECT_DOUBLE_EQ(ParseLatitude("N45:60:00"), 0);
    EXPECT_DOUBLE_EQ(ParseLongitude("W010:59:59"), -(10 + 59 / 60.0 + 59 / 3600.0));
    EXPECT_DOUBLE_EQ(ParseLongitude("E010:20:60"), 0);
    EXPECT_DOUBLE_EQ(ParseLongitude("E010:60:20"), 0);
    EXPECT_DOUBLE_EQ(ParseLatitude("N45:30"), 45.5);
    EXPECT_DOUBLE_EQ(ParseLatitude(""), 0);
    EXPECT_DOUBLE_EQ(ParseLatitude(nullptr), 0);
    EXPECT_DOUBLE_EQ(ParseLongitude("w010:30:00"), -10.5);
    EXPECT_DOUBLE_EQ(ParseLongitude("E180:00:00"), 180);
    EXPECT_DOUBLE_EQ(ParseLongitude("E181:00:00"), 0);
    EXPECT_NEAR(ParseLongitude(FormatLongitude(-75.168)), -75.168, 0.5 / 3600);
}
