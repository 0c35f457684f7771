// Camera geometry checked against arithmetic written out independently here.
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <utility>

#include "aglCameraObj.h"

namespace {

struct V4 {
    double x, y, z, w;
};

V4 apply(const double m[16], double x, double y, double z) {
    return {m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
            m[2] * x + m[6] * y + m[10] * z + m[14], m[3] * x + m[7] * y + m[11] * z + m[15]};
}

// Normalised device coordinates of a point through projection x model-view.
V4 ndc(const aglCameraMatrices& m, double x, double y, double z) {
    const V4 e = apply(m.modelview, x, y, z);
    const V4 c = apply(m.projection, e.x, e.y, e.z);
    return {c.x / c.w, c.y / c.w, c.z / c.w, 1.0};
}

void setHome(aglCameraObj& cam) {
    cam.SetCenter(0.5f, 0.5f, 0.3f);
    cam.SetDistance(3.0f);
    cam.SetElevation(26.0f);
    cam.SetAzimuth(-108.5f);
    cam.SaveHome();
}

TEST(Camera, HomePositionLooksFromTheEyeAtTheCentreWithZUp) {
    aglCameraObj cam;
    setHome(cam);
    cam.SetViewport(400, 300);
    const aglCameraMatrices m = cam.ComputeMatrices();
    const double el = 26.0 * M_PI / 180, az = -108.5 * M_PI / 180;
    const double eye[3] = {0.5 + 3 * std::cos(el) * std::cos(az),
                           0.5 + 3 * std::cos(el) * std::sin(az), 0.3 + 3 * std::sin(el)};
    float ex, ey, ez;
    cam.GetPosition(&ex, &ey, &ez);
    EXPECT_NEAR(ex, eye[0], 1e-5);
    EXPECT_NEAR(ey, eye[1], 1e-5);
    EXPECT_NEAR(ez, eye[2], 1e-5);
    // The eye goes to the origin of eye space, the centre straight ahead at
    // the distance, and a point above the centre straight up the screen.
    const V4 e = apply(m.modelview, eye[0], eye[1], eye[2]);
    EXPECT_NEAR(std::hypot(e.x, e.y, e.z), 0.0, 1e-5);
    const V4 c = apply(m.modelview, 0.5, 0.5, 0.3);
    EXPECT_NEAR(c.x, 0.0, 1e-5);
    EXPECT_NEAR(c.y, 0.0, 1e-5);
    EXPECT_NEAR(c.z, -3.0, 1e-5);
    const V4 up = ndc(m, 0.5, 0.5, 1.0);
    EXPECT_NEAR(up.x, 0.0, 1e-6);
    EXPECT_GT(up.y, 0.0);
    // Perspective: fov 30 degrees, aspect 4:3, near 0.3, far 5.
    const double f = 1.0 / std::tan(15.0 * M_PI / 180);
    EXPECT_NEAR(m.projection[0], f / (400.0 / 300.0), 1e-9);
    EXPECT_NEAR(m.projection[5], f, 1e-9);
    EXPECT_NEAR(m.projection[10], (5.0 + 0.3) / (0.3 - 5.0), 1e-6);
    EXPECT_NEAR(m.projection[14], 2 * 5.0 * 0.3 / (0.3 - 5.0), 1e-6);
    EXPECT_EQ(m.viewport[2], 400);
    EXPECT_EQ(m.viewport[3], 300);

    cam.SetAzimuth(40.0f);
    cam.SetDistance(1.0f);
    cam.RestoreHome();
    EXPECT_FLOAT_EQ(cam.Azimuth(), -108.5f);
    EXPECT_FLOAT_EQ(cam.Distance(), 3.0f);
}

// Each fixed view puts its plane's corner (1, 1) of the box at the same
// place: ortho -0.3..1.2 x -0.2..1.1, so x = 1 -> 0.7333, y = 1 -> 0.8462.
TEST(Camera, FixedViewsShowTheirPlaneWhateverDistanceJitterAndProjection) {
    aglCameraObj cam;
    setHome(cam);
    cam.SetViewport(300, 200);
    const double ex = 1.3 / 1.5 * 2 - 1, ey = 1.2 / 1.3 * 2 - 1;
    struct Case {
        int type;
        double x, y, z;
    } cases[] = {{2, 1, 1, 0}, {1, 1, 0, 1}, {3, 0, 1, 1}};
    for (const Case& k : cases) {
        cam.SetViewType(k.type);
        for (float d : {0.5f, 7.0f})
            for (bool orthoOn : {false, true}) {
                cam.SetDistance(d);
                cam.SetOrthographic(orthoOn);
                cam.SetJitter(0.3f, -0.2f);
                const V4 p = ndc(cam.ComputeMatrices(), k.x, k.y, k.z);
                EXPECT_NEAR(p.x, ex, 1e-6) << "view type " << k.type;
                EXPECT_NEAR(p.y, ey, 1e-6) << "view type " << k.type;
                // The origin is at the lower left of every fixed view.
                const V4 o = ndc(cam.ComputeMatrices(), 0, 0, 0);
                EXPECT_NEAR(o.x, 0.3 / 1.5 * 2 - 1, 1e-6);
                EXPECT_NEAR(o.y, 0.2 / 1.3 * 2 - 1, 1e-6);
            }
    }
    cam.SetViewType(4); // ignored
    EXPECT_EQ(cam.ViewType(), 3);
}

TEST(Camera, FixedAspectUsesTheLargestCentredSquare) {
    aglCameraObj cam;
    cam.SetFixedAspect(true);
    cam.SetViewport(400, 300);
    aglCameraMatrices m = cam.ComputeMatrices();
    EXPECT_EQ(m.viewport[0], 50);
    EXPECT_EQ(m.viewport[1], 0);
    EXPECT_EQ(m.viewport[2], 300);
    EXPECT_EQ(m.viewport[3], 300);
    cam.SetViewport(201, 400);
    m = cam.ComputeMatrices();
    EXPECT_EQ(m.viewport[1], 99); // (400 - 201) / 2, truncated
    EXPECT_EQ(m.viewport[3], 201);
    cam.SetViewport(0, 0); // counts as 1 x 1
    m = cam.ComputeMatrices();
    EXPECT_EQ(m.viewport[2], 1);
}

// With the box fit the fixed views draw one box unit as many pixels across
// as up, the box centred in the direction the area has room to spare, and
// inside the area whatever its shape; without it the unit box's bounds fill
// the area, stretched.
TEST(Camera, BoxFitKeepsTheBoxProportionsInEveryFixedView) {
    struct Case {
        int view;
        float box[3];
        int across, up; // box axes on the screen
    };
    const Case cases[] = {{2, {1.0f, 0.25f, 1.0f}, 0, 1},
                          {2, {0.5f, 1.0f, 1.0f}, 0, 1},
                          {1, {1.0f, 1.0f, 0.4f}, 0, 2}};
    for (const Case& c : cases)
        for (const auto& [w, h] :
             {std::pair{680, 600}, std::pair{1000, 300}, std::pair{300, 900}}) {
            aglCameraObj cam;
            cam.SetViewType(c.view);
            cam.SetViewport(w, h);
            cam.SetBoxFit(true, c.box[0], c.box[1], c.box[2]);
            const aglCameraMatrices m = cam.ComputeMatrices();
            double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
            hi[c.across] = c.box[c.across];
            hi[c.up] = c.box[c.up];
            const V4 a = ndc(m, lo[0], lo[1], lo[2]), b = ndc(m, hi[0], hi[1], hi[2]);
            const double pxAcross = std::fabs(b.x - a.x) * 0.5 * w;
            const double pxUp = std::fabs(b.y - a.y) * 0.5 * h;
            EXPECT_NEAR(pxAcross / c.box[c.across], pxUp / c.box[c.up], 1e-6 * w)
                << c.view << " " << w << "x" << h;
            for (const V4& p : {a, b}) {
                EXPECT_GE(p.x, -1.0);
                EXPECT_LE(p.x, 1.0);
                EXPECT_GE(p.y, -1.0);
                EXPECT_LE(p.y, 1.0);
            }
            // The box and its margins (0.5 and 0.3 of its longer side across
            // and up) fill the area in one direction.
            const double bw = c.box[c.across], bh = c.box[c.up], side = std::max(bw, bh);
            if ((bw + 0.5 * side) / (bh + 0.3 * side) > double(w) / h)
                EXPECT_NEAR(std::fabs(b.x - a.x), 2 * bw / (bw + 0.5 * side), 1e-6);
            else
                EXPECT_NEAR(std::fabs(b.y - a.y), 2 * bh / (bh + 0.3 * side), 1e-6);
        }
    aglCameraObj stretched;
    stretched.SetViewType(2);
    stretched.SetViewport(1000, 300);
    stretched.SetBoxFit(false, 1.0f, 0.25f, 1.0f);
    const aglCameraMatrices m = stretched.ComputeMatrices();
    EXPECT_NEAR(ndc(m, -0.3, -0.2, 0).x, -1.0, 1e-6);
    EXPECT_NEAR(ndc(m, 1.2, 1.1, 0).y, 1.0, 1e-6);
}

TEST(Camera, JitterShiftsThePictureBySubPixelsInBothProjections) {
    for (bool orthoOn : {false, true}) {
        aglCameraObj cam;
        setHome(cam);
        cam.SetOrthographic(orthoOn);
        cam.SetViewport(200, 100);
        const V4 a = ndc(cam.ComputeMatrices(), 0.5, 0.5, 0.3);
        cam.SetJitter(0.5f, 0.25f);
        const V4 b = ndc(cam.ComputeMatrices(), 0.5, 0.5, 0.3);
        // In pixels: ndc difference x half the viewport size.
        const double dx = (b.x - a.x) * 100.0, dy = (b.y - a.y) * 50.0;
        // The orthographic jitter is 0.5 x jitter / size in view units, a
        // fraction of the pixel offset; the perspective one is exact.
        EXPECT_GT(std::fabs(dx), 0.01) << (orthoOn ? "ortho" : "perspective");
        EXPECT_LT(std::fabs(dx), 1.0);
        EXPECT_GT(std::fabs(dy), 0.005);
        EXPECT_LT(std::fabs(dy), 1.0);
        if (!orthoOn) {
            EXPECT_NEAR(dx, 0.5, 1e-6);
            EXPECT_NEAR(dy, 0.25, 1e-6);
        }
    }
}

TEST(Camera, SpinStepsFiveDegreesAndWrapsTo175) {
    aglCameraObj cam;
    cam.SetSpin(true);
    cam.SetAzimuth(180.0f);
    cam.AdvanceSpin();
    EXPECT_FLOAT_EQ(cam.Azimuth(), -175.0f);
    cam.SetAzimuth(175.0f);
    cam.AdvanceSpin();
    EXPECT_FLOAT_EQ(cam.Azimuth(), 180.0f);
    cam.SetSpin(false);
    cam.AdvanceSpin();
    EXPECT_FLOAT_EQ(cam.Azimuth(), 180.0f);
}

TEST(Camera, EyePositionRoundTripsThroughAzimuthAndElevation) {
    aglCameraObj cam;
    cam.SetCenter(0.5f, 0.5f, 0.3f);
    const float pts[][3] = {{-1.0f, 0.7f, 1.2f}, {-2.0f, -0.1f, 0.0f}, {2.0f, 3.0f, -1.0f}};
    for (const auto& p : pts) {
        cam.SetPosition(p[0], p[1], p[2]);
        if (p[0] < 0.5f) { // left of the centre: azimuth beyond +-90
            EXPECT_GT(std::fabs(cam.Azimuth()), 90.0f);
        }
        float x, y, z;
        cam.GetPosition(&x, &y, &z);
        EXPECT_NEAR(x, p[0], 1e-4);
        EXPECT_NEAR(y, p[1], 1e-4);
        EXPECT_NEAR(z, p[2], 1e-4);
    }
    cam.SetPosition(0.5f, 0.5f, 4.0f); // straight above
    EXPECT_EQ(cam.Azimuth(), 0.0f);
    EXPECT_EQ(cam.Elevation(), 0.0f);
    EXPECT_NEAR(cam.Distance(), 3.7f, 1e-6);
}

TEST(Camera, AnglesAreWrappedAndClampedAndNonFiniteValuesRefused) {
    aglCameraObj cam;
    const struct {
        float in, out;
    } az[] = {{540.0f, 180.0f}, {-540.0f, -180.0f}, {181.0f, -179.0f},
              {360.0f, 0.0f},   {-190.0f, 170.0f},  {180.0f, 180.0f}};
    for (const auto& k : az) {
        cam.SetAzimuth(k.in);
        EXPECT_NEAR(cam.Azimuth(), k.out, 1e-3) << k.in;
    }
    cam.SetAzimuth(1e30f); // ends, and lands in range
    EXPECT_LE(std::fabs(cam.Azimuth()), 180.0f);
    cam.SetAzimuth(10.0f);
    cam.SetAzimuth(INFINITY);
    cam.SetAzimuth(NAN);
    EXPECT_FLOAT_EQ(cam.Azimuth(), 10.0f);
    cam.SetElevation(120.0f);
    EXPECT_FLOAT_EQ(cam.Elevation(), 90.0f);
    cam.SetElevation(-95.0f);
    EXPECT_FLOAT_EQ(cam.Elevation(), -90.0f);
    cam.SetElevation(NAN);
    EXPECT_FLOAT_EQ(cam.Elevation(), -90.0f);
    cam.SetDistance(2.0f);
    cam.SetDistance(-INFINITY);
    EXPECT_FLOAT_EQ(cam.Distance(), 2.0f);
    cam.SetCenter(NAN, 0, 0);
    cam.SetPosition(0, INFINITY, 0);
    cam.Pan(NAN, 1.0f);
    float x, y, z;
    cam.GetCenter(&x, &y, &z);
    EXPECT_EQ(x, 0.0f);
    EXPECT_TRUE(std::isfinite(cam.Azimuth()) && std::isfinite(cam.Distance()));
}

TEST(Camera, DistanceZeroOrBelowStillGivesAFiniteProjection) {
    aglCameraObj cam;
    cam.SetViewport(100, 100);
    for (float d : {0.0f, -1.0f, -20.0f / 11.0f, -5.0f}) {
        cam.SetDistance(d);
        for (bool orthoOn : {false, true}) {
            cam.SetOrthographic(orthoOn);
            const aglCameraMatrices m = cam.ComputeMatrices();
            for (double v : m.projection)
                EXPECT_TRUE(std::isfinite(v)) << d;
            for (double v : m.modelview)
                EXPECT_TRUE(std::isfinite(v)) << d;
        }
    }
}

TEST(Camera, PanMovesTheCentreAlongScreenRightAndUp) {
    aglCameraObj cam; // azimuth 0, elevation 0: eye on +x looking at -x, z up
    cam.Pan(0.25f, 0.5f);
    float x, y, z;
    cam.GetCenter(&x, &y, &z);
    // Right on the screen is +y here (looking down -x with z up).
    EXPECT_NEAR(x, 0.0f, 1e-6);
    EXPECT_NEAR(y, 0.25f, 1e-6);
    EXPECT_NEAR(z, 0.5f, 1e-6);
    const aglCameraMatrices m = cam.ComputeMatrices();
    const V4 r = apply(m.modelview, 0.0, 1.25, 0.5); // one unit right of the new centre
    EXPECT_NEAR(r.x, 1.0, 1e-6);
}

} // namespace
