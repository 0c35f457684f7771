#include "PrintPage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace print_page {

Layout layoutPage(const Edges& page, double aspect) {
    Layout l;
    const int w = page.width();
    const int h = page.height();
    const int margin = w / 20;
    l.xl = page.left + margin;
    l.xr = page.right - margin;
    l.yt = page.top + h / 20;
    l.yb = page.bottom - h / 20;
    l.u = (l.yb - l.yt) / 10;
    l.yp = l.yb - h / 40;
    // The title ends a tenth of a band below the picture area's top, so a
    // tall title's descenders may reach into it.
    l.title = {l.xl, l.yt, l.xr, l.yt + l.u + l.u / 10};

    const int bw = l.xr - l.xl;
    // The picture is fitted into its own area, below the title band: fitted
    // into a height that counted the band as well, the graph would come out
    // stretched by about a tenth.
    Edges area{l.xl, l.yt + l.u, l.xr, l.yp};
    const int ch = area.height();
    if (!(aspect > 0 && std::isfinite(aspect)) || bw <= 0 || ch <= 0) return l;
    if (aspect <= double(bw) / double(ch)) {
        const int inset = int(std::floor(double(bw) - aspect * double(ch) + 0.5)) / 2;
        area.left += inset;
        area.right -= inset;
    } else {
        const int inset = int(std::floor(double(ch) - double(bw) / aspect + 0.5)) / 2;
        area.top += inset;
        area.bottom -= inset;
    }
    // A picture far taller than wide on a short page leaves no room at all.
    if (area.width() <= 0 || area.height() <= 0) return l;
    l.picture = area;
    l.hasPicture = true;
    return l;
}

QString pageTitle(const QString& documentTitle) {
    QString title = documentTitle;
    const qsizetype dot = title.lastIndexOf('.');
    if (dot >= 0) title.truncate(dot);
    if (!title.isEmpty()) title.replace(0, 1, title.left(1).toUpper());
    return title;
}

int titleFontHeight(int rectHeight, int rectWidth, int titleLength,
                    const std::function<int(int)>& widestAt) {
    int height = 8 * rectHeight / 10;
    while (height >= 1 && int64_t(titleLength) * widestAt(height) > rectWidth)
        height = 8 * height / 10;
    return height;
}

QString footerTime(const std::tm& local) {
    static const char* const months[] = {"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};
    const int hour12 = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
    const int month = local.tm_mon >= 0 && local.tm_mon < 12 ? local.tm_mon : 0;
    QString text = QString::asprintf("%02d:%02d%s  %s %02d, %d", hour12, local.tm_min,
                                     local.tm_hour < 12 ? "AM" : "PM", months[month], local.tm_mday,
                                     local.tm_year + 1900);
    if (text.startsWith('0')) text[0] = ' ';
    return text;
}

QString pictureSizeText(int64_t bytes) {
    if (bytes <= 1048576) return QString::asprintf("%3.2fK", double(bytes) / 1024.0);
    return QString::asprintf("%3.2fM", double(bytes) / 1048576.0);
}

void Progress::tick(int status) {
    if (m_finished) return;
    if (status > m_highest) {
        m_highest = status;
        m_position = status > 4 ? kRange : std::min(kRange, 10 * status);
    }
    if (status == 4) m_caption = kWritingCaption;
    if (status == 5) {
        // A failed picture: the page is printed without it.
        m_failed = true;
        m_finished = true;
    }
    if (status == 6) {
        m_caption = kDoneCaption;
        m_okEnabled = true;
        if (++m_doneTicks >= kDoneTicks) m_finished = true;
    }
}

void Progress::setFileSize(int64_t bytes) {
    m_sizeText = pictureSizeText(bytes);
}

PictureSize pictureSize(int viewWidth, int viewHeight) {
    if (viewWidth < 1 || viewHeight < 1) return {};
    constexpr int64_t kMaxSide = 1000000;
    int64_t w = int64_t(viewWidth) * 100;
    int64_t h = int64_t(viewHeight) * 100;
    while (w > kMaxSide || h > kMaxSide) {
        w /= 2;
        h /= 2;
    }
    return {int(std::max<int64_t>(w, 1)), int(std::max<int64_t>(h, 1))};
}

} // namespace print_page
