#include "aglPalette.h"

#include "aglAxisTicks.h"

#include "aglSegment.h"
#include "aglTypes.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTiny = 9.5367431640625e-07;

uint8_t toByte(double c) {
    if (!(c > 0.0)) return 0;
    if (c >= 1.0) return 255;
    return uint8_t(std::floor(c * 255.0));
}

double limit01(double c) {
    return c < 0.0 ? 0.0 : c > 1.0 ? 1.0 : c;
}

// The rainbow ramp of entry i: blue, green, yellow, red. t is computed as a
// float so that the band edges fall on the same entries as always.
void rainbow(int i, double rgb[3]) {
    const float t = float(i) / 255.0f;
    rgb[0] = t < 0.5f ? 0.0 : t < 0.75f ? (t - 0.5f) * 4.0f : 1.0;
    rgb[1] = t < 0.2f    ? 0.0
             : t < 0.5f  ? (t - 0.2f) * 3.3333333f
             : t < 0.75f ? 1.0
                         : 1.0f - (t - 0.75f) * 4.0f;
    rgb[2] = t < 0.5f ? 1.0f - 2.0f * t : 0.0;
}

// About sixteen bands across the table.
double band(double t) {
    return 0.2 * std::sin(99.84 * t);
}

const float kLineColours[aglPalette::kLineColourCount][3] = {
    {0, 0, 1}, {0, 1, 0},    {1, 0, 0},    {0, 1, 1},    {1, 0, 1},
    {1, 1, 0}, {1, 0.7f, 0}, {0, 0.7f, 1}, {0.7f, 0, 1}, {0.7f, 1, 0},
};

} // namespace

aglPalette::aglPalette() {
    BuildTable(kRainbow, m_builtIn);
}

aglPalette::~aglPalette() = default;

bool aglPalette::BuildTable(int id, uint8_t* table) {
    if (id < 1 || id > kLastBuiltIn) return false;
    for (int i = 0; i < kEntries; ++i) {
        const double t = i / 255.0;
        double c[3];
        switch (id) {
        case 1:
            c[0] = c[1] = c[2] = i / 255.0;
            break;
        case 2:
            c[0] = c[1] = c[2] = limit01(t + band(t));
            break;
        case 3:
            c[0] = c[1] = c[2] = (255 - i) / 255.0;
            break;
        case 4:
            rainbow(i, c);
            break;
        case 5:
            rainbow(i, c);
            for (double& x : c)
                x = limit01(x + band(t));
            break;
        default:
            rainbow(255 - i, c);
            break;
        }
        uint8_t* e = table + 4 * i;
        if (id <= 3) {
            // Gray ramps are exact: entry i of the plain ramp is (i, i, i).
            const int g = id == 1 ? i : id == 3 ? 255 - i : int(std::floor(255.0 * c[0]));
            e[0] = e[1] = e[2] = uint8_t(g);
        } else {
            e[0] = toByte(c[0]);
            e[1] = toByte(c[1]);
            e[2] = toByte(c[2]);
        }
        e[3] = 255;
    }
    return true;
}

bool aglPalette::SetPaletteId(int id) {
    if (id < 0 || id > kLastBuiltIn) return false;
    if (id == kCustom) {
        if (m_custom) {
            LockTable();
            m_table = static_cast<const uint8_t*>(m_custom->elements());
            m_id = kCustom;
            UnlockTable();
        }
    } else {
        LockTable();
        BuildTable(id, m_builtIn);
        m_table = m_builtIn;
        m_id = id;
        UnlockTable();
    }
    PaletteChanged();
    return true;
}

bool aglPalette::SetRange(double minimum, double maximum) {
    auto fit = [](double v) {
        if (v > agl::kFloatLimit) v = agl::kFloatLimit;
        if (v < -agl::kFloatLimit) v = -agl::kFloatLimit;
        return std::fabs(v) < kTiny ? 0.0 : v;
    };
    bool stored = false;
    if (std::isfinite(minimum) && std::isfinite(maximum)) {
        minimum = fit(minimum);
        maximum = fit(maximum);
        if (maximum >= minimum) {
            m_min = float(minimum);
            m_max = float(maximum);
            stored = true;
        }
    }
    PaletteChanged();
    return stored;
}

void aglPalette::SetValueMapping(double scale, double offset) {
    // Any finite non-zero scale is a mapping (data range over drawn height).
    m_valueScale = std::isfinite(scale) && scale != 0.0 ? scale : 1.0;
    m_valueOffset = std::isfinite(offset) ? offset : 0.0;
    PaletteChanged();
}

bool aglPalette::LoadCustomPalette(const std::string& name) {
    if (name.empty()) return false;
    // Open and check outside the table lock: this may touch the file system.
    auto segment = std::make_unique<aglSegment>();
    if (!segment->open(name, true) || !segment->isValid() || !segment->elements()) return false;
    const int type = segment->typeCode();
    if ((type != AGL_UCHAR && type != AGL_CHAR) || segment->elementCount() != kTableBytes ||
        segment->elementSize() != 1)
        return false;

    // The table may point into the old segment: switch it while the render
    // thread is kept out, and release the old segment only afterwards.
    std::unique_ptr<aglSegment> old;
    LockTable();
    old = std::move(m_custom);
    m_custom = std::move(segment);
    if (m_id == kCustom) m_table = static_cast<const uint8_t*>(m_custom->elements());
    UnlockTable();
    old.reset();
    PaletteChanged();
    return true;
}

int aglPalette::EntryOf(double height) const {
    const double v = height * m_valueScale + m_valueOffset;
    if (std::isnan(v)) return 0;
    const float fv = float(v);
    if (fv <= m_min) return 0;
    if (fv >= m_max) return kEntries - 1;
    const double k = std::floor((v - m_min) / (double(m_max) - double(m_min)) * 255.0 + 0.5);
    return k < 0.0 ? 0 : k > 255.0 ? kEntries - 1 : int(k);
}

void aglPalette::ColourOf(double height, uint8_t rgb[3]) const {
    const uint8_t* e = m_table + 4 * EntryOf(height);
    rgb[0] = e[0];
    rgb[1] = e[1];
    rgb[2] = e[2];
}

float aglPalette::TexCoordOf(double height) const {
    const double v = height * m_valueScale + m_valueOffset;
    if (std::isnan(v)) return 0.0f;
    const float fv = float(v);
    if (fv <= m_min) return 0.0f;
    if (fv >= m_max) return 1.0f;
    const double t = (v - m_min) / (double(m_max) - double(m_min));
    return float(t < 0.0 ? 0.0 : t > 1.0 ? 1.0 : t);
}

float aglPalette::ValueOfEntry(int k) const {
    if (k < 0) return m_min;
    if (k >= kEntries) return m_max;
    return float(double(m_min) + (double(m_max) - double(m_min)) * k / 256.0);
}

void aglPalette::LineColour(int k, uint8_t rgb[3]) {
    const int i = int((k < 0 ? -int64_t(k) : int64_t(k)) % kLineColourCount);
    for (int c = 0; c < 3; ++c)
        rgb[c] = uint8_t(std::floor(kLineColours[i][c] * 255.0f));
}

std::vector<aglPalette::BarLabel> aglPalette::MakeLabels(int kind, int maxCount) const {
    const double lo = m_min, hi = m_max;
    maxCount = std::clamp(maxCount, 2, kLabelCount);
    const agl::AxisNumbers n = agl::valueAxisNumbers(lo, hi, false, {maxCount, 0}, true,
                                                     kind != kFloatingLabels, maxCount);
    const std::vector<std::string> texts = agl::makeAxisNumbers(n.first, n.step, n.major, n.format);
    std::vector<BarLabel> labels(texts.size());
    for (size_t k = 0; k < texts.size(); ++k) {
        const double v = n.first + n.step * double(k);
        labels[k].fraction = hi > lo ? std::clamp((v - lo) / (hi - lo), 0.0, 1.0) : 0.0;
        labels[k].text = texts[k];
    }
    return labels;
}

aglPalette::Strip aglPalette::StripFor(int width, int height, bool shown, bool labels,
                                       int graphType) {
    Strip s;
    width = std::max(width, 0);
    height = std::max(height, 0);
    s.graphWidth = width;
    if (!shown) return s;
    int w;
    if (graphType == 0) {
        w = width;
    } else if (width > (labels ? 360 : 150)) {
        w = labels ? 120 : 50;
    } else {
        w = width / 3;
        if (w < 50) w = width / 6;
    }
    const int margin = int(std::floor(0.1 * height));
    s.left = width - w;
    s.right = width;
    s.bottom = margin;
    s.top = height - margin;
    s.graphWidth = width - w;
    return s;
}
