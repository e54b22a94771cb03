// Page-item geometry as docs/document-model.md fixes it: a box in page
// coordinates before rotation, a counter-clockwise rotation about its
// top-left corner, a matrix from box space to page space for rotated items,
// and outlines relative to the box's top-left corner.
#ifndef OMBRA_READER_GEOMETRY_H
#define OMBRA_READER_GEOMETRY_H

#include "ReaderBuilder.h"

#include <ombra/geometry.h>
#include <ombra/values.h>

#include <vector>

namespace obreader {

struct Point {
    double x = 0, y = 0;
};

/// One anchor of a Bézier path with its two direction points; a corner
/// without handles has all three equal.
struct PathPoint {
    Point left, anchor, right;
};

struct SubPath {
    std::vector<PathPoint> points;
    bool closed = false;
};

/// An affine map, y growing downwards: x' = a x + c y + tx, y' = b x + d y + ty.
struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    Point Apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    /// This map followed by next.
    Matrix Then(const Matrix& next) const;
    /// False (out untouched) when the map cannot be inverted.
    bool Inverse(Matrix& out) const;
};

struct Placement {
    double left = 0, top = 0, right = 0, bottom = 0; ///< the box before rotation
    double rotation = 0;                             ///< degrees counter-clockwise
    bool hasRotation = false;                        ///< Rotation is written (even when 0)
    bool hasMatrix = false;
    Matrix matrix; ///< box space to page space, when hasMatrix
};

/// Clockwise degrees (as sources with a downward y axis give them) as the
/// model's counter-clockwise ones, in [0, 360).
double CounterClockwise(double clockwise);

/// Places an outline given in item space through itemToPage: rotation is
/// taken from the map, scale and shear go into the outline, which is
/// rewritten relative to the box's top-left corner in the box's unrotated
/// frame.
Placement PlaceOutline(const Matrix& itemToPage, std::vector<SubPath>& paths);

/// Sets BoundingBox, Rotation and TransformationMatrix (each when set).
void WritePlacement(ElementBuilder& b, Element* e, const Placement& place);

/// A path point list as a copy that holds only its points: a list grown
/// point by point keeps up to half of its room unused, and the Element keeps
/// the list until the conversion ends. The list itself when it is full or
/// when there is no memory for the copy (reported).
Value* Compacted(ElementBuilder& b, Value* v);

/// The points of the outline (of its first sub-path only, when firstOnly) as
/// a ValuePathPointList in points; null only when memory runs out. Paths is
/// any list of sub-paths with `points` of `left`, `anchor` and `right`.
template <class SubPaths>
Value* PathPointList(ElementBuilder& b, const SubPaths& paths, bool firstOnly) {
    Value* v = nullptr;
    ValueUtil::CreateValuePathPointList(v);
    auto* list = dynamic_cast<ValuePathPointList*>(v);
    if (!list) {
        b.OutOfMemory();
        return v;
    }
    // Room for every point at once; when there is no memory for that the
    // list grows by steps and is compacted at the end.
    long long count = 0;
    for (const auto& s : paths) {
        count += static_cast<long long>(s.points.size());
        if (firstOnly) break;
    }
    const bool exact = list->Reserve(count) && count > 0;
    for (const auto& s : paths) {
        for (const auto& p : s.points)
            if (!list->Add(OBPathPoint(OBPoint(p.left.x, p.left.y), OBPoint(p.anchor.x, p.anchor.y),
                                       OBPoint(p.right.x, p.right.y)),
                           UNITS::LINEAR::kPoints)) {
                b.OutOfMemory();
                return v;
            }
        if (firstOnly) break;
    }
    return exact ? v : Compacted(b, v);
}

} // namespace obreader

#endif
