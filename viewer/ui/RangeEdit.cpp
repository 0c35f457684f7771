#include "RangeEdit.h"

#include <QLineEdit>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMinDistance = 1.0 / 32768.0; // 2^-15
constexpr double kLargest = 1e300;

// Rounded away from zero to 6 - floor(log10 |v|) decimals (whole numbers
// from 10^6 upwards); values below 1 in magnitude as they are.
double roundAway(double v) {
    const double a = std::fabs(v);
    if (a < 1.0) return v;
    const int decimals = std::max(0, 6 - int(std::floor(std::log10(a))));
    const double f = std::pow(10.0, decimals);
    const double r = std::ceil(a * f - 1e-9) / f;
    return v < 0 ? -r : r;
}

} // namespace

double rangeSpinStep(double v, double w, double anchor, int x, bool lower) {
    if (x == 0 || !std::isfinite(v) || !std::isfinite(w) || !std::isfinite(anchor)) return v;
    const double d = std::max(std::fabs(anchor - w), kMinDistance);
    const double g = std::min(3.0, std::log10(d) + (std::abs(x) - 100) * 2.0 / 99.0);
    double step = std::pow(10.0, g);
    if (x < 0) step = -step;
    // A minimum creeps towards the maximum.
    if (lower && step > 0 && w > v && step > 0.05 * (w - v)) step = 0.01 * (w - v);
    v += step;
    if (std::fabs(w - v) < std::fabs(step) / 2) v = roundAway(v);
    if ((lower && v >= w) || (!lower && v <= w)) return w;
    if (!lower && std::fabs(step) > 0.2 * d) {
        // A maximum lands on a round grid above the minimum.
        const double e = std::pow(10.0, std::floor(std::log10(v - w)) - 1);
        const double base = std::floor(w / e) * e;
        const double snapped = base + std::ceil((v - base) / e - 1e-9) * e;
        if (std::isfinite(snapped)) v = snapped;
    }
    return v;
}

QString rangeText(double value) {
    return QString::asprintf("%f", value);
}

std::optional<double> parseRangeNumber(const QString& text) {
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) > kLargest) return std::nullopt;
    return v;
}

RangeEdit::RangeEdit(bool lower, QWidget* parent) : QAbstractSpinBox(parent), m_lower(lower) {
    setAccelerated(true);
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    m_spinEnd.setSingleShot(true);
    m_spinEnd.setInterval(kSpinEndMs);
    connect(&m_spinEnd, &QTimer::timeout, this, &RangeEdit::endSpin);
}

void RangeEdit::setValue(double value) {
    m_setText = rangeText(value);
    m_setValue = value;
    lineEdit()->setText(m_setText);
    m_anchor = value;
    m_position = 0;
}

std::optional<double> RangeEdit::value() const {
    if (text() == m_setText && std::isfinite(m_setValue)) return m_setValue;
    return parseRangeNumber(text());
}

void RangeEdit::setLocked(bool locked) {
    setReadOnly(locked);
    if (locked) endSpin();
    update();
}

void RangeEdit::stepBy(int steps) {
    if (isReadOnly() || !m_partner) return;
    const auto v = value();
    const auto w = m_partner->value();
    if (!v || !w) return;
    if (!m_spinEnd.isActive() && m_position == 0) m_anchor = *v;
    m_position = std::clamp(m_position + steps, -kMaxPosition, kMaxPosition);
    m_spinEnd.start();
    if (m_position == 0) return;
    const double next = rangeSpinStep(*v, *w, m_anchor, m_position, m_lower);
    lineEdit()->setText(rangeText(next));
}

void RangeEdit::endSpin() {
    m_spinEnd.stop();
    m_position = 0;
    if (const auto v = value()) m_anchor = *v;
}

QValidator::State RangeEdit::validate(QString&, int&) const {
    // Any text may be typed; the dialog says so when it is not a number.
    return QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled RangeEdit::stepEnabled() const {
    if (isReadOnly()) return StepNone;
    return StepUpEnabled | StepDownEnabled;
}
