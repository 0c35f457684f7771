// RangeEdit: the number edit of one end of a range (palette range, axis
// ranges), with a spin button that moves the value by a speed rather than
// by a count. Holding the button (or Up/Down, PageUp/PageDown) raises the
// spin's position; the step grows with the position and with the distance
// to the other end as it was when the last spin ended, so that small ranges
// creep and large ones race. The other end is never crossed.
//
// rangeSpinStep is the arithmetic of one step, without widgets.
// User-interface thread only.
#pragma once

#include <QAbstractSpinBox>
#include <QTimer>

#include <optional>

// One step of a range end: v the end, w the other end, anchor the value of
// v when the last spin ended, x the spin position (-10000..10000, not 0),
// lower whether v is the minimum. Returns the new value of v.
double rangeSpinStep(double v, double w, double anchor, int x, bool lower);

// The text of a value in a range edit ("%f").
QString rangeText(double value);

// A number typed by the user: finite and within +-1e300 (so that range
// widths and steps stay finite), else none.
std::optional<double> parseRangeNumber(const QString& text);

class RangeEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    static constexpr int kMaxPosition = 10000;
    // How long after the last step the spin counts as ended.
    static constexpr int kSpinEndMs = 350;

    RangeEdit(bool lower, QWidget* parent = nullptr);

    void setPartner(RangeEdit* other) { m_partner = other; }
    // Shows value and makes it the anchor.
    void setValue(double value);
    // The number shown, or none when the text is not one. While the text is
    // the one setValue showed, the value it was given, in full (the text
    // has six decimals).
    std::optional<double> value() const;
    // Read-only: no typing, no spinning (auto adjust is on).
    void setLocked(bool locked);
    int position() const { return m_position; }

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;

protected:
    StepEnabled stepEnabled() const override;

private:
    void endSpin();

    bool m_lower;
    RangeEdit* m_partner = nullptr;
    double m_anchor = 0.0;
    double m_setValue = 0.0;
    QString m_setText;
    int m_position = 0;
    QTimer m_spinEnd;
};
