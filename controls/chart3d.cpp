#include "controls/chart3d.h"

#include <algorithm>
#include <cmath>

Vec3 Normalise(Vec3 v) {
    float squared = Dot(v, v);
    if (std::fabs(squared - 1.0f) <= 0.00001f) return v;
    if (squared > 1e-10f) {
        float length = std::sqrt(squared);
        return {v.x / length, v.y / length, v.z / length};
    }
    return {0, 0, 0};
}

Vec3 Cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Mat4 Multiply(const Mat4& a, const Mat4& b) {
    Mat4 result{};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a.m[r][k] * b.m[k][c];
            result.m[r][c] = sum;
        }
    }
    return result;
}

namespace {

Mat4 Identity() {
    Mat4 m{};
    for (int i = 0; i < 4; ++i) m.m[i][i] = 1;
    return m;
}

}  // namespace

Mat4 Translation(Vec3 t) {
    Mat4 m = Identity();
    m.m[3][0] = t.x;
    m.m[3][1] = t.y;
    m.m[3][2] = t.z;
    return m;
}

Mat4 Scaling(Vec3 s) {
    Mat4 m = Identity();
    m.m[0][0] = s.x;
    m.m[1][1] = s.y;
    m.m[2][2] = s.z;
    return m;
}

Mat4 RotationX(float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    return {{{1, 0, 0, 0}, {0, c, s, 0}, {0, -s, c, 0}, {0, 0, 0, 1}}};
}

Mat4 RotationY(float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    return {{{c, 0, -s, 0}, {0, 1, 0, 0}, {s, 0, c, 0}, {0, 0, 0, 1}}};
}

Mat4 LookAtLH(Vec3 eye, Vec3 target, Vec3 up) {
    Vec3 zaxis = Normalise({target.x - eye.x, target.y - eye.y, target.z - eye.z});
    Vec3 xaxis = Normalise(Cross(up, zaxis));
    Vec3 yaxis = Cross(zaxis, xaxis);
    return {{{xaxis.x, yaxis.x, zaxis.x, 0},
             {xaxis.y, yaxis.y, zaxis.y, 0},
             {xaxis.z, yaxis.z, zaxis.z, 0},
             {-Dot(xaxis, eye), -Dot(yaxis, eye), -Dot(zaxis, eye), 1}}};
}

Mat4 ComposeViewTransform(const Chart3DView& view) {
    const Vec3& c = view.centre;
    Mat4 m = Translation({-c.x, -c.y, -c.z});
    m = Multiply(m, Scaling(view.scale));
    m = Multiply(m, RotationY(view.rotY));
    m = Multiply(m, RotationX(view.rotX));
    m = Multiply(m, Translation(c));
    m = Multiply(m, LookAtLH(view.eye, {0, 0, 0}, {0, 1, 0}));
    return Multiply(m, Translation(view.pan));
}

namespace {

int ToLogical(float v) {
    if (std::isnan(v)) return 0;
    return static_cast<int>(std::clamp(v, -1e8f, 1e8f));
}

}  // namespace

LogicalPoint Project(const Mat4& t, Vec3 p) {
    float out[4];
    for (int c = 0; c < 4; ++c) {
        out[c] = p.x * t.m[0][c] + p.y * t.m[1][c] + p.z * t.m[2][c] + t.m[3][c];
    }
    float w = out[3] != 0 ? out[3] : 1.0f;  // 1 for the affine views used here
    return {ToLogical(out[0] / w), ToLogical(out[1] / w)};
}

Vec3 CellModelPoint(const Chart3DCell& cell, int rows, int columnSpacing, int rowSpacing) {
    return {static_cast<float>(cell.column) * columnSpacing, static_cast<float>(cell.value),
            (static_cast<float>(rows) - cell.row + 1) * rowSpacing};
}

uint32_t ValueBandColour(int v, int dataMin, int dataMax) {
    // The band edges are sixths of the span, written as single-precision constants.
    static constexpr float kEdges[] = {0.0f, 0.16666667f, 0.33333334f,
                                       0.5f, 0.6666667f,  0.8333333f};
    static constexpr uint32_t kColours[] = {0xFF0000, 0xEFEA7A, 0x00FF00,
                                            0x00FFFF, 0x00BEFF, 0x0000FF};
    double m = dataMin;
    double span = static_cast<double>(dataMax) - dataMin;
    double value = v;
    for (int band = 0; band < 6; ++band) {
        double low = m + span * kEdges[band];
        bool belowNext = band == 5 ? value <= dataMax : value < m + span * kEdges[band + 1];
        if (low <= value && belowNext) return kColours[band];
    }
    return 0xFFFFFF;
}

bool Chart3DHit(LogicalPoint p, int lx, int ly, int radius) {
    long long dx = static_cast<long long>(p.x) - lx;
    long long dy = static_cast<long long>(p.y) - ly;
    return dx <= radius && -dx <= 5 && dy <= radius && -dy <= 5;
}

int Chart3DDragValue(int value, int fromY, int toY, float rotX, int valueMin, int valueMax) {
    double delta = (static_cast<double>(toY) - fromY) / std::cos(rotX);
    double moved = value;
    if (std::isfinite(delta)) moved += std::trunc(std::clamp(delta, -1e9, 1e9));
    return static_cast<int>(
        std::clamp(moved, static_cast<double>(valueMin), static_cast<double>(valueMax)));
}

bool ApplyViewKey(Chart3DView& view, int key, bool shift, bool ctrl) {
    bool arrow = key >= kChartKeyLeft && key <= kChartKeyDown;
    if (ctrl && !shift) {
        switch (key) {
            case kChartKeyLeft: view.rotY -= 0.05f; break;
            case kChartKeyRight: view.rotY += 0.05f; break;
            case kChartKeyUp: view.rotX -= 0.05f; break;
            case kChartKeyDown: view.rotX += 0.05f; break;
        }
    } else if (shift && !ctrl) {
        // Panning stops once it has gone a little past 300 units either way.
        switch (key) {
            case kChartKeyLeft:
                if (view.pan.x >= -300) view.pan.x -= 2;
                break;
            case kChartKeyRight:
                if (view.pan.x <= 300) view.pan.x += 2;
                break;
            case kChartKeyUp:
                if (view.pan.y <= 300) view.pan.y += 2;
                break;
            case kChartKeyDown:
                if (view.pan.y >= -300) view.pan.y -= 2;
                break;
        }
    } else if (shift && ctrl) {
        float s = view.scale.x;
        if (key == kChartKeyZoomOut && s >= 0.2f) s -= 0.02f;
        if (key == kChartKeyZoomIn) s += 0.02f;
        if (s != view.scale.x) {
            view.scale = {s, s, s};
            return true;
        }
    }
    return arrow;
}

bool ApplyViewDrag(Chart3DView& view, int dx, int dy, bool shift, bool ctrl, float minZoom) {
    if (ctrl && !shift) {
        view.rotY += dx * 0.01f;
        view.rotX += dy * 0.01f;
    } else if (shift && !ctrl) {
        view.pan.x += dx * 0.45f;
        view.pan.y -= dy * 0.45f;
    } else if (shift && ctrl) {
        if (view.scale.x >= minZoom || dy < 0) {
            float s = std::max(view.scale.x - dy * 0.01f, minZoom);
            view.scale = {s, s, s};
        }
    } else {
        return false;
    }
    return true;
}
