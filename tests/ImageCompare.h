// Compares a rendered picture with a reference PNG in tests/baselines.
//
//   EXPECT_TRUE(tavrix::test::matchesBaseline(image, "render_lit_box"));
//
// Default tolerance: sizes equal and at most 0.1 % of the pixels differ by
// more than 16/255 in any channel. On failure (or when the baseline does not
// exist yet) the picture and a difference image are written to
// <build>/test-output/NAME.actual.png and NAME.diff.png, and the message gives
// their paths. Baselines are replaced only by hand, after looking at them.
#pragma once

#include <QColor>
#include <QDir>
#include <QImage>
#include <QString>
#include <gtest/gtest.h>
#include <string>

namespace tavrix::test {

struct ImageTolerance {
    int channel = 16;           // per channel, out of 255
    double maxBadShare = 0.001; // share of pixels allowed beyond `channel`
};

// Pixels of a and b (same size) that differ by more than `channel` in any of
// R, G, B; diff (optional) receives a picture of where.
inline long long countDifferentPixels(const QImage& a, const QImage& b, int channel,
                                      QImage* diff = nullptr) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    if (diff) {
        *diff = QImage(x.size(), QImage::Format_RGB32);
        diff->fill(Qt::black);
    }
    long long bad = 0;
    for (int r = 0; r < x.height(); ++r) {
        const QRgb* p = reinterpret_cast<const QRgb*>(x.constScanLine(r));
        const QRgb* q = reinterpret_cast<const QRgb*>(y.constScanLine(r));
        for (int c = 0; c < x.width(); ++c) {
            const int d =
                std::max({std::abs(qRed(p[c]) - qRed(q[c])), std::abs(qGreen(p[c]) - qGreen(q[c])),
                          std::abs(qBlue(p[c]) - qBlue(q[c]))});
            if (d > channel) {
                ++bad;
                if (diff) diff->setPixel(c, r, qRgb(255, 0, 255));
            } else if (diff && d > 0) {
                diff->setPixel(c, r, qRgb(80, 80, 80));
            }
        }
    }
    return bad;
}

inline QString testOutputDir() {
    const QString dir = QStringLiteral(TAVRIX_BINARY_DIR "/test-output");
    QDir().mkpath(dir);
    return dir;
}

inline ::testing::AssertionResult matchesBaseline(const QImage& actual, const std::string& name,
                                                  ImageTolerance tol = {}) {
    const QString baselinePath = QStringLiteral(TAVRIX_SOURCE_DIR "/tests/baselines/") +
                                 QString::fromStdString(name) + ".png";
    const QString out = testOutputDir() + "/" + QString::fromStdString(name);
    const QImage expected(baselinePath);
    if (expected.isNull()) {
        actual.save(out + ".actual.png");
        return ::testing::AssertionFailure()
               << "no baseline " << baselinePath.toStdString() << "; picture written to "
               << (out + ".actual.png").toStdString() << " (look at it, then copy it there)";
    }
    if (expected.size() != actual.size()) {
        actual.save(out + ".actual.png");
        return ::testing::AssertionFailure()
               << "size " << actual.width() << "x" << actual.height() << " differs from baseline "
               << expected.width() << "x" << expected.height()
               << "; actual: " << (out + ".actual.png").toStdString();
    }
    QImage diff;
    const long long bad = countDifferentPixels(actual, expected, tol.channel, &diff);
    const double share = double(bad) / double(actual.width() * actual.height());
    if (share > tol.maxBadShare) {
        actual.save(out + ".actual.png");
        diff.save(out + ".diff.png");
        return ::testing::AssertionFailure()
               << bad << " pixels (" << share * 100.0 << " %) differ from " << name
               << " by more than " << tol.channel << "/255; see "
               << (out + ".actual.png").toStdString() << " and "
               << (out + ".diff.png").toStdString();
    }
    return ::testing::AssertionSuccess();
}

} // namespace tavrix::test
