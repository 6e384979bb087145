// The 3-D chart's arithmetic: the view transform (single-precision, row vectors), projection
// to logical points, value band colours, picking, and how keys and mouse drags change the
// shared view. Portable.
#pragma once

#include <cstdint>

// One cell of the caller's table. Columns count from 1, rows from 1 to the table's row count;
// the first stored row is the last row number.
struct Chart3DCell {
    int32_t column;
    int32_t row;
    int32_t value;
};

struct Vec3 {
    float x, y, z;
};

struct Mat4 {
    float m[4][4];
};

// Unchanged when the squared length is within 0.00001 of 1; divided by its length when the
// squared length exceeds 1e-10; else the zero vector.
[[nodiscard]] Vec3 Normalise(Vec3 v);
[[nodiscard]] Vec3 Cross(Vec3 a, Vec3 b);
[[nodiscard]] float Dot(Vec3 a, Vec3 b);

[[nodiscard]] Mat4 Multiply(const Mat4& a, const Mat4& b);  // a then b, for row vectors
[[nodiscard]] Mat4 Translation(Vec3 t);
[[nodiscard]] Mat4 Scaling(Vec3 s);
[[nodiscard]] Mat4 RotationX(float angle);
[[nodiscard]] Mat4 RotationY(float angle);
// Left-handed look-at view from `eye` towards `target`.
[[nodiscard]] Mat4 LookAtLH(Vec3 eye, Vec3 target, Vec3 up);

// How every 3-D chart of the process looks at its table.
struct Chart3DView {
    float rotX = 0;              // radians about the x axis
    float rotY = 0;              // radians about the y axis
    Vec3 pan{0, 0, 0};           // moved after projection; only x and y change
    Vec3 scale{1, 1, 1};         // zoom, always the same on all three axes
    Vec3 centre{120, 150, 100};  // the point the table turns about
    Vec3 eye{0, 2, -3};          // where the view looks from, towards the origin
};

// Model to logical: about the centre scaled and turned (y, then x), then seen from the eye
// and panned.
[[nodiscard]] Mat4 ComposeViewTransform(const Chart3DView& view);

struct LogicalPoint {
    int x, y;
};

// Projects a model point; coordinates are truncated towards zero (values too large for a
// logical coordinate are held at +-1e8, NaN gives 0).
[[nodiscard]] LogicalPoint Project(const Mat4& transform, Vec3 model);

// Where a cell sits in model space: (column x columnSpacing, value, (rows - row + 1) x
// rowSpacing).
[[nodiscard]] Vec3 CellModelPoint(const Chart3DCell& cell, int rows, int columnSpacing,
                                  int rowSpacing);

// Band colour (0x00BBGGRR) of value v among values from dataMin to dataMax: blue, light blue,
// green, yellow, orange, red by sixths of the span; white when v lies outside it.
[[nodiscard]] uint32_t ValueBandColour(int v, int dataMin, int dataMax);

// A press at logical (lx, ly) hits the point projected at p when it lies at most `radius`
// units left of or below p, or at most 5 units right of or above it.
[[nodiscard]] bool Chart3DHit(LogicalPoint p, int lx, int ly, int radius);

// The value a vertical drag from logical y `fromY` to `toY` makes of `value`: the move scaled
// by 1 / cos(rotX), truncated, and held between the limits. A view turned edge-on (where the
// division has no finite result) leaves the value as it is.
[[nodiscard]] int Chart3DDragValue(int value, int fromY, int toY, float rotX, int valueMin,
                                   int valueMax);

// Key codes of the view keys.
enum : int {
    kChartKeyLeft = 37,
    kChartKeyUp = 38,
    kChartKeyRight = 39,
    kChartKeyDown = 40,
    kChartKeyZoomOut = 219,  // the left bracket key
    kChartKeyZoomIn = 221,   // the right bracket key
};

// A key press with the given modifiers. Returns whether the chart must be drawn again: always
// for the arrow keys, for the bracket keys only when they change the zoom.
[[nodiscard]] bool ApplyViewKey(Chart3DView& view, int key, bool shift, bool ctrl);

// A mouse move of (dx, dy) pixels with the button held: Ctrl turns, Shift pans, both zoom (no
// further out than minZoom). Returns whether the move is a view gesture (Shift, Ctrl or both
// held), which hides the cursor and draws the chart again.
[[nodiscard]] bool ApplyViewDrag(Chart3DView& view, int dx, int dy, bool shift, bool ctrl,
                                 float minZoom);
