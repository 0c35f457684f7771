#include "aglCameraObj.h"

#include <algorithm>
#include <cmath>

#include "aglGL.h"

namespace {

bool finite3(float x, float y, float z) {
    return std::isfinite(x) && std::isfinite(y) && std::isfinite(z);
}

void identity(double m[16]) {
    for (int i = 0; i < 16; ++i)
        m[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

// m = m x b (column-major), as glMultMatrix does.
void multiply(double m[16], const double b[16]) {
    double r[16];
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            double s = 0;
            for (int k = 0; k < 4; ++k)
                s += m[k * 4 + row] * b[c * 4 + k];
            r[c * 4 + row] = s;
        }
    for (int i = 0; i < 16; ++i)
        m[i] = r[i];
}

void ortho(double m[16], double l, double r, double b, double t, double n, double f) {
    double o[16] = {};
    o[0] = 2.0 / (r - l);
    o[5] = 2.0 / (t - b);
    o[10] = -2.0 / (f - n);
    o[12] = -(r + l) / (r - l);
    o[13] = -(t + b) / (t - b);
    o[14] = -(f + n) / (f - n);
    o[15] = 1.0;
    multiply(m, o);
}

void frustum(double m[16], double l, double r, double b, double t, double n, double f) {
    double o[16] = {};
    o[0] = 2.0 * n / (r - l);
    o[5] = 2.0 * n / (t - b);
    o[8] = (r + l) / (r - l);
    o[9] = (t + b) / (t - b);
    o[10] = -(f + n) / (f - n);
    o[11] = -1.0;
    o[14] = -2.0 * f * n / (f - n);
    multiply(m, o);
}

void perspective(double m[16], double fovDeg, double aspect, double n, double f) {
    const double cot = 1.0 / std::tan(fovDeg * 0.5 * M_PI / 180.0);
    double o[16] = {};
    o[0] = cot / aspect;
    o[5] = cot;
    o[10] = (f + n) / (n - f);
    o[11] = -1.0;
    o[14] = 2.0 * f * n / (n - f);
    multiply(m, o);
}

void rotate(double m[16], double deg, double x, double y, double z) {
    const double a = deg * M_PI / 180.0, c = std::cos(a), s = std::sin(a), t = 1 - c;
    double o[16] = {};
    o[0] = t * x * x + c;
    o[1] = t * x * y + s * z;
    o[2] = t * x * z - s * y;
    o[4] = t * x * y - s * z;
    o[5] = t * y * y + c;
    o[6] = t * y * z + s * x;
    o[8] = t * x * z + s * y;
    o[9] = t * y * z - s * x;
    o[10] = t * z * z + c;
    o[15] = 1.0;
    multiply(m, o);
}

void lookAt(double m[16], const double eye[3], const double center[3], const double up[3]) {
    double f[3] = {center[0] - eye[0], center[1] - eye[1], center[2] - eye[2]};
    double fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    if (fl > 0)
        for (double& v : f)
            v /= fl;
    double s[3] = {f[1] * up[2] - f[2] * up[1], f[2] * up[0] - f[0] * up[2],
                   f[0] * up[1] - f[1] * up[0]};
    double sl = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
    if (sl > 0)
        for (double& v : s)
            v /= sl;
    const double u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2],
                         s[0] * f[1] - s[1] * f[0]};
    double o[16] = {};
    o[0] = s[0], o[4] = s[1], o[8] = s[2];
    o[1] = u[0], o[5] = u[1], o[9] = u[2];
    o[2] = -f[0], o[6] = -f[1], o[10] = -f[2];
    o[15] = 1.0;
    multiply(m, o);
    double t[16];
    identity(t);
    t[12] = -eye[0], t[13] = -eye[1], t[14] = -eye[2];
    multiply(m, t);
}

// a wrapped into -180..180 the way "while a > 180, a -= 360; while a < -180,
// a += 360" would, but in constant time for any finite a.
float wrapAzimuth(double a) {
    a = std::fmod(a, 360.0);
    if (a > 180.0) a -= 360.0;
    if (a < -180.0) a += 360.0;
    return float(a);
}

} // namespace

void aglCameraObj::eyeOf(const State& s, double eye[3]) {
    const double el = s.elevation * kDegToRad, az = s.azimuth * kDegToRad;
    const double d[3] = {std::cos(el) * std::cos(az), std::cos(el) * std::sin(az), std::sin(el)};
    for (int i = 0; i < 3; ++i)
        eye[i] = s.coi[i] + double(s.distance) * d[i];
}

aglCameraMatrices aglCameraObj::matricesOf(const State& s) {
    aglCameraMatrices m;
    int width = s.width < 1 ? 1 : s.width;
    int height = s.height < 1 ? 1 : s.height;
    if (!s.fixedAspect) {
        m.viewport[0] = 0, m.viewport[1] = 0, m.viewport[2] = width, m.viewport[3] = height;
    } else if (width > height) {
        m.viewport[0] = (width - height) / 2, m.viewport[1] = 0;
        m.viewport[2] = height, m.viewport[3] = height;
        width = height;
    } else {
        m.viewport[0] = 0, m.viewport[1] = (height - width) / 2;
        m.viewport[2] = width, m.viewport[3] = width;
        height = width;
    }
    identity(m.projection);
    identity(m.modelview);
    if (s.viewType >= 1 && s.viewType <= 3) {
        if (!s.boxFit) {
            ortho(m.projection, -0.3, 1.2, -0.2, 1.1, -10.0, 10.0);
        } else {
            // The plane's extents across and up, margins as the unit box's
            // (0.3 left, 0.2 right and below, 0.1 above) scaled by its longer
            // side, then the shorter direction widened to the area's shape.
            const int across = s.viewType == 3 ? 1 : 0, up = s.viewType == 2 ? 1 : 2;
            const double bw = std::max(double(s.box[across]), 1e-6);
            const double bh = std::max(double(s.box[up]), 1e-6);
            const double side = std::max(bw, bh);
            double l = -0.3 * side, r = bw + 0.2 * side, b = -0.2 * side, t = bh + 0.1 * side;
            const double area = double(width) / double(height);
            if ((r - l) / (t - b) < area) {
                const double extra = (t - b) * area - (r - l);
                l -= extra / 2;
                r += extra / 2;
            } else {
                const double extra = (r - l) / area - (t - b);
                b -= extra / 2;
                t += extra / 2;
            }
            ortho(m.projection, l, r, b, t, -10.0, 10.0);
        }
        if (s.viewType == 1) {
            rotate(m.modelview, -90.0, 1, 0, 0);
        } else if (s.viewType == 3) {
            rotate(m.modelview, -90.0, 1, 0, 0);
            rotate(m.modelview, -90.0, 0, 0, 1);
        }
        return m;
    }
    // A zoom past the centre of interest leaves a distance of 0 or less, for
    // which near = distance x 0.1 is not positive and the projection would be
    // singular; keep the planes just in front of the eye instead.
    const double nearPlane = std::max(double(s.distance) * 0.1, 1e-3);
    const double farPlane = std::max(double(s.distance) + 2.0, nearPlane + 1e-3);
    const double w = width, h = height;
    if (s.orthographic) {
        double half = 0.5 * s.distance * std::sin(s.fov * kDegToRad);
        if (std::fabs(half) < 1e-6) half = 1e-6; // distance 0: keep the volume non-empty
        const double jx = 0.5 * s.jitterX / w, jy = 0.5 * s.jitterY / h;
        if (w > h)
            ortho(m.projection, jx - half * w / h, jx + half * w / h, jy - half, jy + half,
                  nearPlane, farPlane);
        else
            ortho(m.projection, jx - half, jx + half, jy - half * h / w, jy + half * h / w,
                  nearPlane, farPlane);
    } else if (s.jitterX == 0.0f && s.jitterY == 0.0f) {
        perspective(m.projection, s.fov, w / h, nearPlane, farPlane);
    } else {
        const double top = nearPlane * std::tan(s.fov * kDegToRad * 0.5);
        const double bottom = -top, right = top * (w / h), left = -right;
        const double dx = -(s.jitterX * (right - left) / m.viewport[2]);
        const double dy = -(s.jitterY * (top - bottom) / m.viewport[3]);
        frustum(m.projection, left + dx, right + dx, bottom + dy, top + dy, nearPlane, farPlane);
    }
    double eye[3];
    eyeOf(s, eye);
    const double el = s.elevation * kDegToRad, az = s.azimuth * kDegToRad;
    const double up[3] = {-std::sin(el) * std::cos(az), -std::sin(el) * std::sin(az), std::cos(el)};
    const double center[3] = {s.coi[0], s.coi[1], s.coi[2]};
    lookAt(m.modelview, eye, center, up);
    return m;
}

void aglCameraObj::Render(RenderMode /*mode*/) {
    AdvanceSpin();
    const aglCameraMatrices m = ComputeMatrices();
    glViewport(m.viewport[0], m.viewport[1], m.viewport[2], m.viewport[3]);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(m.projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(m.modelview);
    ClearChanged(); // every frame, whatever the mode
}

void aglCameraObj::AdvanceSpin() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_s.spin) return;
    m_s.azimuth += 5.0f;
    if (m_s.azimuth > 180.0f) m_s.azimuth = -175.0f;
}

void aglCameraObj::ApplyMatrices() const {
    const aglCameraMatrices m = ComputeMatrices();
    glViewport(m.viewport[0], m.viewport[1], m.viewport[2], m.viewport[3]);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(m.projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(m.modelview);
}

aglCameraMatrices aglCameraObj::ComputeMatrices() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return matricesOf(m_s);
}

void aglCameraObj::SetPosition(float x, float y, float z) {
    if (!finite3(x, y, z)) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const double dx = double(x) - m_s.coi[0], dy = double(y) - m_s.coi[1],
                     dz = double(z) - m_s.coi[2];
        const double dist = std::sqrt(dx * dx + dy * dy + dz * dz);
        const double h = std::sqrt(dx * dx + dy * dy);
        const double az = h < kTiny ? 0.0 : std::atan2(dy, dx);
        const double el = (dist < kTiny || h < kTiny) ? 0.0 : std::atan(dz / h);
        m_s.distance = float(dist);
        m_s.azimuth = float(az * kRadToDeg);
        m_s.elevation = float(el * kRadToDeg);
    }
    Invalidate();
}

void aglCameraObj::GetPosition(float* x, float* y, float* z) const {
    double eye[3];
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        eyeOf(m_s, eye);
    }
    if (x) *x = float(eye[0]);
    if (y) *y = float(eye[1]);
    if (z) *z = float(eye[2]);
}

void aglCameraObj::Pan(float a, float b) {
    if (!std::isfinite(a) || !std::isfinite(b) || (a == 0.0f && b == 0.0f)) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const double el = m_s.elevation * kDegToRad, az = m_s.azimuth * kDegToRad;
        const double d[3] = {std::cos(el) * std::cos(az), std::cos(el) * std::sin(az),
                             std::sin(el)};
        const double u[3] = {-std::sin(el) * std::cos(az), -std::sin(el) * std::sin(az),
                             std::cos(el)};
        const double r[3] = {u[1] * d[2] - u[2] * d[1], u[2] * d[0] - u[0] * d[2],
                             u[0] * d[1] - u[1] * d[0]};
        for (int i = 0; i < 3; ++i)
            m_s.coi[i] = float(m_s.coi[i] + a * r[i] + b * u[i]);
    }
    Invalidate();
}

void aglCameraObj::SetViewport(int width, int height) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (width == m_s.width && height == m_s.height) return;
        m_s.width = width;
        m_s.height = height;
        m_s.centerX = width * 0.5f;
        m_s.centerY = height * 0.5f;
    }
    Invalidate();
}

void aglCameraObj::GetViewport(int* width, int* height) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (width) *width = m_s.width;
    if (height) *height = m_s.height;
}

void aglCameraObj::SetCenter(float x, float y, float z) {
    if (!finite3(x, y, z)) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_s.coi[0] = x, m_s.coi[1] = y, m_s.coi[2] = z;
    }
    Invalidate();
}

void aglCameraObj::GetCenter(float* x, float* y, float* z) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (x) *x = m_s.coi[0];
    if (y) *y = m_s.coi[1];
    if (z) *z = m_s.coi[2];
}

void aglCameraObj::SetDistance(float d) {
    if (!std::isfinite(d)) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_s.distance = d;
    }
    Invalidate();
}

void aglCameraObj::SetElevation(float e) {
    if (!std::isfinite(e)) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_s.elevation = e > 90.0f ? 90.0f : (e < -90.0f ? -90.0f : e);
    }
    Invalidate();
}

void aglCameraObj::SetAzimuth(float a) {
    if (!std::isfinite(a)) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_s.azimuth = wrapAzimuth(a);
    }
    Invalidate();
}

void aglCameraObj::SetOrthographic(bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_s.orthographic = on;
}

void aglCameraObj::SetSpin(bool on) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_s.spin = on;
    }
    Invalidate();
}

void aglCameraObj::SetViewType(int t) {
    if (t < 0 || t >= 4) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_s.viewType = t;
}

void aglCameraObj::SetBoxFit(bool on, float x, float y, float z) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_s.boxFit = on;
        m_s.box[0] = x;
        m_s.box[1] = y;
        m_s.box[2] = z;
    }
    Invalidate();
}

void aglCameraObj::SetFixedAspect(bool on) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_s.fixedAspect = on;
    }
    Invalidate();
}

void aglCameraObj::SetJitter(float x, float y) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_s.jitterX = x;
    m_s.jitterY = y;
}

void aglCameraObj::SaveHome() {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int i = 0; i < 3; ++i)
        m_s.homeCoi[i] = m_s.coi[i];
    m_s.homeElevation = m_s.elevation;
    m_s.homeAzimuth = m_s.azimuth;
    m_s.homeDistance = m_s.distance;
}

void aglCameraObj::RestoreHome() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int i = 0; i < 3; ++i)
            m_s.coi[i] = m_s.homeCoi[i];
        m_s.elevation = m_s.homeElevation;
        m_s.azimuth = m_s.homeAzimuth;
        m_s.distance = m_s.homeDistance;
    }
    Invalidate();
}

float aglCameraObj::Azimuth() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_s.azimuth;
}
float aglCameraObj::Elevation() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_s.elevation;
}
float aglCameraObj::Distance() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_s.distance;
}
int aglCameraObj::ViewType() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_s.viewType;
}
bool aglCameraObj::IsOrthographic() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_s.orthographic;
}
bool aglCameraObj::IsSpinning() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_s.spin;
}
bool aglCameraObj::IsFixedAspect() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_s.fixedAspect;
}
