#pragma once

#include <string>

#include "tools/marlo-cli/MapConversion.h"
#include "tools/marlo-cli/SphereSupport.h"

// convert's road for a map of any size: the input is read one piece at a
// time (a shapefile record, or a text map's holed polygon), each piece is
// prepared as LoadMapFile prepares the whole map (and clipped to its display
// geometry with --clip) and written at once, and its objects are let go. The
// files written are byte for byte those of reading the whole map, preparing
// it and saving it, because every step acts on each piece alone:
//  - hole assignment works within one record, and a record's holed polygons
//    go out in the order a content receives them (last first);
//  - what the output says about the whole map (the main file's box and
//    length, the record numbers, the table's rows) is gathered as the pieces
//    pass and written at the end;
//  - the display geometry of a holed polygon depends on that holed polygon
//    alone.
// Memory then follows the largest piece rather than the map. Within a
// shapefile record even the holes are let go one by one once prepared; only
// the record's rims live as objects until its end.
//
// Prints "Could not open file" or "Could not save file" with the path and
// the reason (or the display geometry's complaint) on failure, and leaves
// nothing at outputPath then.
bool ConvertStreaming(const std::string& inputPath, const std::string& outputPath,
                      const CMapTransformations& transformations, const CSphereOptions& sphere);
