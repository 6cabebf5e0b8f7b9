// Made by scripts/make-projection-wkt with projinfo -o WKT1_ESRI; do not edit.
#include "mapfiles/ProjectionWkt.h"

// clang-format off
const char GeographicWkt[] =
    "GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS_1984\",6378137.0,298.257223563]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]]";

const CProjectionWkt ProjectionWktTable[] = {
    {0, "Albers Equal Area Conic", "+proj=aea +lat_1=60 +lat_2=60 +lat_0=0 +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Albers\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",0.0],PARAMETER[\"Standard_Parallel_1\",60.0],PARAMETER[\"Standard_Parallel_2\",60.0],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    {1, "Bonne", "+proj=bonne +lat_1=40 +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Bonne\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",0.0],PARAMETER[\"Standard_Parallel_1\",40.0],UNIT[\"Meter\",1.0]]"},
    {2, "Cassini", "+proj=cass +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Cassini\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",0.0],PARAMETER[\"Scale_Factor\",1.0],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    {3, "Conic Equidistant", "+proj=eqdc +lat_1=0 +lat_2=60 +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Equidistant_Conic\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",0.0],PARAMETER[\"Standard_Parallel_1\",0.0],PARAMETER[\"Standard_Parallel_2\",60.0],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    {4, "Cylindrical Equal Area", "+proj=cea +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Cylindrical_Equal_Area\"],PARAMETER[\"standard_parallel_1\",0.0],PARAMETER[\"central_meridian\",0.0],PARAMETER[\"false_easting\",0.0],PARAMETER[\"false_northing\",0.0],UNIT[\"Meter\",1.0]]"},
    {5, "Cylindrical Equidistant", "+proj=eqc +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Equidistant_Cylindrical\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",0.0],PARAMETER[\"Standard_Parallel_1\",0.0],UNIT[\"Meter\",1.0]]"},
    {6, "Eckert VI", "+proj=eck6 +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Eckert_VI\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",0.0],UNIT[\"Meter\",1.0]]"},
    {7, "Eckert IV", "+proj=eck4 +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Eckert_IV\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",0.0],UNIT[\"Meter\",1.0]]"},
    {8, "Gnomonic", "+proj=gnom +lat_0=0 +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Gnomonic\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Longitude_Of_Center\",0.0],PARAMETER[\"Latitude_Of_Center\",0.0],UNIT[\"Meter\",1.0]]"},
    {9, "HorizontalRangeHeading", "+proj=ortho +R=6370999",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",6370999.0,0.0]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Local\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Scale_Factor\",1.0],PARAMETER[\"Azimuth\",0.0],PARAMETER[\"Longitude_Of_Center\",0.0],PARAMETER[\"Latitude_Of_Center\",0.0],UNIT[\"Meter\",1.0]]"},
    {10, "Lambert Azimuthal Equal Area", "+proj=laea +lat_0=0 +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Lambert_Azimuthal_Equal_Area\"],PARAMETER[\"latitude_of_center\",0.0],PARAMETER[\"longitude_of_center\",0.0],PARAMETER[\"false_easting\",0.0],PARAMETER[\"false_northing\",0.0],UNIT[\"Meter\",1.0]]"},
    {11, "Lambert Conformal Conic", "+proj=lcc +lat_1=50 +lat_2=-10 +lat_0=0 +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Lambert_Conformal_Conic\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",0.0],PARAMETER[\"Standard_Parallel_1\",50.0],PARAMETER[\"Standard_Parallel_2\",-10.0],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    {12, "Mercator", "+proj=merc +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Mercator\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",0.0],PARAMETER[\"Standard_Parallel_1\",0.0],UNIT[\"Meter\",1.0]]"},
    {14, "Mollweide", "+proj=moll +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Mollweide\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",0.0],UNIT[\"Meter\",1.0]]"},
    {15, "Orthographic", "+proj=ortho +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Local\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Scale_Factor\",1.0],PARAMETER[\"Azimuth\",0.0],PARAMETER[\"Longitude_Of_Center\",0.0],PARAMETER[\"Latitude_Of_Center\",0.0],UNIT[\"Meter\",1.0]]"},
    {16, "Polyconic", "+proj=poly +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Polyconic\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",0.0],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    {17, "RangeHeading", "+proj=aeqd +lat_0=0 +R=6370999",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",6370999.0,0.0]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Azimuthal_Equidistant\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",0.0],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    {18, "Sinusoidal", "+proj=sinu +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Sinusoidal\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",0.0],UNIT[\"Meter\",1.0]]"},
    {19, "SlantRangeHeading", "+proj=laea +lat_0=0 +R=6370999",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",6370999.0,0.0]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Lambert_Azimuthal_Equal_Area\"],PARAMETER[\"latitude_of_center\",0.0],PARAMETER[\"longitude_of_center\",0.0],PARAMETER[\"false_easting\",0.0],PARAMETER[\"false_northing\",0.0],UNIT[\"Meter\",1.0]]"},
    {20, "Stereographic", "+proj=stere +lat_0=0 +R=6370999",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",6370999.0,0.0]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Stereographic\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",0.0],PARAMETER[\"Scale_Factor\",1.0],PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]"},
    {21, "Van Der Grinten", "+proj=vandg +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Van_der_Grinten_I\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",0.0],UNIT[\"Meter\",1.0]]"},
    {22, "Vertical Perspective", "+proj=nsper +h=9 +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Vertical_Near_Side_Perspective\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Longitude_Of_Center\",0.0],PARAMETER[\"Latitude_Of_Center\",0.0],PARAMETER[\"Height\",9.0],UNIT[\"Meter\",1.0]]"},
    {23, "Vertical", "+proj=ortho +R=1",
     "PROJCS[\"unknown\",GEOGCS[\"GCS_unknown\",DATUM[\"D_unknown\",SPHEROID[\"unknown\",1.0,0.0]],PRIMEM[\"Reference_meridian\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Local\"],PARAMETER[\"False_Easting\",0.0],PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Scale_Factor\",1.0],PARAMETER[\"Azimuth\",0.0],PARAMETER[\"Longitude_Of_Center\",0.0],PARAMETER[\"Latitude_Of_Center\",0.0],UNIT[\"Meter\",1.0]]"},
};

const int ProjectionWktCount = static_cast<int>(std::size(ProjectionWktTable));
// clang-format on

const CProjectionWkt* FindProjectionWkt(int32_t type) {
    for (const CProjectionWkt& row : ProjectionWktTable) {
        if (row.type == type) {
            return &row;
        }
    }
    return nullptr;
}
