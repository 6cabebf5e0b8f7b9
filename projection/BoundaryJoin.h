#pragma once

// Joining the pieces of rings that a cut or a clip leaves: each piece runs
// inside a region from its boundary back to its boundary, and the region of
// the polygon lies on the right of every piece. Positions on the boundary are
// a parameter that grows anticlockwise around it, over a whole turn of
// `perimeter`; a piece is followed, from where it leaves, by the boundary
// walked clockwise (the region staying on the right) to the nearest piece
// still to be joined, until the ring's own first piece closes it.

#include <cmath>
#include <cstddef>
#include <vector>

template <typename Point> struct CBoundaryPiece {
    std::vector<Point> points;
    // Boundary positions of the first point and of the last one.
    double entry = 0.0;
    double exit = 0.0;
    bool used = false;
};

// Piece is a CBoundaryPiece or derives from one. walk(from, distance, ring) appends the boundary
// from position `from` (the ring's last point) clockwise over distance, not its end; done(ring)
// takes each joined ring, its first point not repeated.
template <typename Piece, typename Walk, typename Done>
void JoinAlongBoundary(std::vector<Piece>& pieces, double perimeter, Walk walk, Done done) {
    using Ring = decltype(Piece::points);
    const auto clockwiseDistance = [&](double exit, double entry) {
        const double d = std::fmod(exit - entry, perimeter);
        return d < 0.0 ? d + perimeter : d;
    };
    for (std::size_t first = 0; first < pieces.size(); ++first) {
        if (pieces[first].used) {
            continue;
        }
        Ring ring;
        std::size_t current = first;
        while (true) {
            Piece& piece = pieces[current];
            piece.used = true;
            ring.insert(ring.end(), piece.points.begin(), piece.points.end());
            // The nearest entry clockwise from this exit; on a tie the ring's
            // own first piece, which closes it.
            std::size_t next = pieces.size();
            double best = perimeter;
            for (std::size_t k = 0; k < pieces.size(); ++k) {
                if (pieces[k].used && k != first) {
                    continue;
                }
                const double d = clockwiseDistance(piece.exit, pieces[k].entry);
                if (d < best || (d == best && k == first)) {
                    best = d;
                    next = k;
                }
            }
            if (next == pieces.size()) {
                break;
            }
            walk(piece.exit, best, ring);
            if (next == first) {
                break;
            }
            current = next;
        }
        done(ring);
    }
}
