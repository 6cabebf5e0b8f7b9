#!/usr/bin/env node
// d3-geo's picture of a map, as the reference for Marlo's display geometry:
// the area that d3 fills for each polygon under one of Marlo's projections,
// at one or more projection centres.
//
// Usage: node display-area.mjs MAP.geojson PROJECTION [options]
//   MAP.geojson  a FeatureCollection of Polygon (or MultiPolygon) features in
//                longitude/latitude degrees, wound as d3 reads them: exterior
//                rings clockwise and holes anticlockwise on a north-up map.
//   PROJECTION   one of Marlo's projection names, e.g. "Mollweide".
// Options:
//   --centre LAT,LON  rotate the sphere so that this point comes to the
//                     projection's centre; repeatable; default 0,0.
//   --points LAT,LON;LAT,LON;...  also project these points at every centre.
//   --totals          leave out the per-polygon lines.
//
// Output, one record per line, areas and coordinates in Marlo's plane units
// (radians on the unit sphere, or metres on the sphere of radius 6370999):
//   scale S                 Marlo's plane units per unit of d3's raw projection
//   flipped I               feature I was reversed, as its spherical area
//                           exceeded 2 pi (a ring wound for a flat map)
//   sphere A                spherical area of all polygons after flipping,
//                           steradians
//   centre LAT LON total A  the area d3 draws at this centre, then
//   polygon I A             the area of feature I, and
//   point LAT LON X Y       the projected points, y up.
import { readFileSync } from "node:fs";
import * as d3 from "d3-geo";
import * as d3p from "d3-geo-projection";

const earthRadius = 6370999;
// d3 works in pixels: a large scale and a fine precision (in pixels) keep the
// resampled curves within 1e-5 of the sphere radius of the true ones.
const pixelsPerUnit = 1000;
const precisionPixels = 0.01;

// Marlo's projections with a d3 counterpart: the d3 projection with Marlo's
// parameters, and the factor from d3's raw plane (unit sphere) to Marlo's.
// "Cassini" and Marlo's "Miller Cylindrical" (latitude factor 0.2) have none.
const counterparts = {
  "Albers Equal Area Conic": [() => d3.geoConicEqualArea().parallels([60, 60]), 1],
  "Bonne": [() => d3p.geoBonne().parallel(40), 1],
  "Conic Equidistant": [() => d3.geoConicEquidistant().parallels([0, 60]), 1],
  "Cylindrical Equal Area": [() => d3p.geoCylindricalEqualArea().parallel(0), 1],
  "Cylindrical Equidistant": [() => d3.geoEquirectangular(), 1],
  "Eckert VI": [() => d3p.geoEckert6(), 1],
  "Eckert IV": [() => d3p.geoEckert4(), 1],
  "Gnomonic": [() => d3.geoGnomonic(), 1],
  // The horizontal range is the orthographic distance in metres.
  "HorizontalRangeHeading": [() => d3.geoOrthographic(), earthRadius],
  "Lambert Azimuthal Equal Area": [() => d3.geoAzimuthalEqualArea(), 1],
  "Lambert Conformal Conic": [() => d3.geoConicConformal().parallels([50, -10]), 1],
  "Mercator": [() => d3.geoMercator(), 1],
  "Mollweide": [() => d3p.geoMollweide(), 1],
  "Orthographic": [() => d3.geoOrthographic(), 1],
  "Polyconic": [() => d3p.geoPolyconic(), 1],
  // The great-circle range is the azimuthal equidistant distance in metres.
  "RangeHeading": [() => d3.geoAzimuthalEquidistant(), earthRadius],
  "Sinusoidal": [() => d3p.geoSinusoidal(), 1],
  // The chord is the azimuthal equal-area distance in metres.
  "SlantRangeHeading": [() => d3.geoAzimuthalEqualArea(), earthRadius],
  // Marlo's stereographic is the true-scale one in metres, 2R / (1 + cos c);
  // d3's raw formula is 1 / (1 + cos c).
  "Stereographic": [() => d3.geoStereographic(), 2 * earthRadius],
  "Van Der Grinten": [() => d3p.geoVanDerGrinten(), 1],
  // geoSatellite sets its clip angle from the distance it starts with (2), not
  // from the one set later, so the horizon of P = 10 is set here.
  "Vertical Perspective": [
    () => d3p.geoSatellite().distance(10).tilt(0)
      .clipAngle((Math.acos(1 / 10) * 180) / Math.PI - 1e-6),
    1,
  ],
  "Vertical": [() => d3.geoOrthographic(), 1],
};

function fail(message) {
  process.stderr.write(`display-area: ${message}\n`);
  process.exit(2);
}

function parsePair(text) {
  const parts = text.split(",").map(Number);
  if (parts.length !== 2 || !parts.every(Number.isFinite)) {
    fail(`expected LAT,LON, got "${text}"`);
  }
  return parts;
}

function parseArguments(argv) {
  const options = { centres: [], points: [], perPolygon: true, positional: [] };
  for (let i = 0; i < argv.length; ++i) {
    const arg = argv[i];
    if (arg === "--centre" && i + 1 < argv.length) {
      options.centres.push(parsePair(argv[++i]));
    } else if (arg === "--points" && i + 1 < argv.length) {
      options.points = argv[++i].split(";").filter((s) => s.length > 0).map(parsePair);
    } else if (arg === "--totals") {
      options.perPolygon = false;
    } else if (arg.startsWith("--")) {
      fail(`unknown option ${arg}`);
    } else {
      options.positional.push(arg);
    }
  }
  if (options.positional.length !== 2) {
    fail("usage: node display-area.mjs MAP.geojson PROJECTION [--centre LAT,LON]... " +
         "[--points LAT,LON;...] [--totals]");
  }
  if (options.centres.length === 0) {
    options.centres.push([0, 0]);
  }
  return options;
}

function readPolygons(path) {
  let collection;
  try {
    collection = JSON.parse(readFileSync(path, "utf8"));
  } catch (error) {
    fail(`cannot read ${path}: ${error.message}`);
  }
  if (collection?.type !== "FeatureCollection" || !Array.isArray(collection.features)) {
    fail(`${path} is not a GeoJSON FeatureCollection`);
  }
  return collection.features;
}

// A polygon whose spherical area exceeds a hemisphere was wound for a flat
// map, where clockwise is taken in the longitude/latitude plane; d3 would fill
// the rest of the sphere. Reversing every ring gives the region meant.
function flipFlatMapWinding(features, out) {
  let sphere = 0;
  features.forEach((feature, index) => {
    let area = d3.geoArea(feature);
    if (area > 2 * Math.PI) {
      const reversed = (rings) => rings.map((ring) => ring.slice().reverse());
      const geometry = feature.geometry;
      geometry.coordinates = geometry.type === "MultiPolygon"
        ? geometry.coordinates.map(reversed) : reversed(geometry.coordinates);
      area = d3.geoArea(feature);
      out.push(`flipped ${index}`);
    }
    sphere += area;
  });
  out.push(`sphere ${sphere}`);
}

// Marlo's rotation to the origin (lat, lon) is d3's rotate([-lon, -lat, 0]).
function makeProjection(factory, centre) {
  return factory()
    .rotate([-centre[1], -centre[0], 0])
    .center([0, 0])
    .scale(pixelsPerUnit)
    .translate([0, 0])
    .precision(precisionPixels);
}

function main() {
  const options = parseArguments(process.argv.slice(2));
  const [mapPath, name] = options.positional;
  const counterpart = counterparts[name];
  if (counterpart === undefined) {
    fail(`no d3 counterpart for projection "${name}"`);
  }
  const [factory, scale] = counterpart;
  const features = readPolygons(mapPath);

  const out = [`scale ${scale}`];
  flipFlatMapWinding(features, out);
  const areaFactor = (scale / pixelsPerUnit) ** 2;
  for (const centre of options.centres) {
    const projection = makeProjection(factory, centre);
    const path = d3.geoPath(projection);
    const areas = features.map((feature) => path.area(feature) * areaFactor);
    const total = areas.reduce((sum, a) => sum + a, 0);
    out.push(`centre ${centre[0]} ${centre[1]} total ${total}`);
    if (options.perPolygon) {
      areas.forEach((area, index) => out.push(`polygon ${index} ${area}`));
    }
    for (const [lat, lon] of options.points) {
      const p = projection([lon, lat]);
      const x = p ? (p[0] / pixelsPerUnit) * scale : NaN;
      const y = p ? (-p[1] / pixelsPerUnit) * scale : NaN;
      out.push(`point ${lat} ${lon} ${x} ${y}`);
    }
  }
  process.stdout.write(out.join("\n") + "\n");
}

main();
