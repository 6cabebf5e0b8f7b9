#pragma once

#include <string>
#include <utility>
#include <vector>

// Runs PROJ's `proj` program as an independent oracle. Points go in as
// (first, second) pairs in the order `proj` reads them: longitude then
// latitude in degrees for a forward run, x then y for an inverse run (-I).
// Points that PROJ rejects come back as NaN.
namespace proj_oracle {

using PointList = std::vector<std::pair<double, double>>;

bool IsAvailable();

// False when the program could not be run or answered with a different number
// of lines.
bool Run(const std::string& definition, bool inverse, const PointList& in, PointList& out);

} // namespace proj_oracle
