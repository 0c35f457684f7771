// The printed page's arithmetic and texts, apart from any printer or
// painter: the page layout in whole device units, the title and its font
// height, the footer's time, the progress dialog's size text and its steps.
// The user-interface layer draws what these compute (PagePrinter). Pure
// functions and plain values; any thread.
#pragma once

#include <QString>

#include <cstdint>
#include <ctime>
#include <functional>

namespace print_page {

// A rectangle by its four edges, in device units (right and bottom are the
// first coordinates outside it, as the page's drawing rectangle gives them).
struct Edges {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Edges&) const = default;
};

// Where everything goes on a page whose drawing rectangle is page.
struct Layout {
    int xl = 0; // left edge of title, picture and footer
    int xr = 0; // their right edge
    int yt = 0; // top of the title band
    int yb = 0; // bottom line of the footer
    int yp = 0; // bottom of the picture area, top of the footer band
    int u = 0;  // height of the title band
    Edges title;
    // The picture's fitted area; empty (all 0) when there is no picture.
    Edges picture;
    bool hasPicture = false;
};

// Lays out a page. aspect is the picture's width / height; 0 (or anything
// not a positive finite number) lays out a page without a picture. All the
// arithmetic is integer, floored, as a page of any resolution gets it.
Layout layoutPage(const Edges& page, double aspect);

// The title printed for a document title: without its extension (cut at
// the last "."), its first character upper-cased.
QString pageTitle(const QString& documentTitle);

// The title font's height in device units for a title rectangle of
// rectHeight x rectWidth and a title of titleLength characters: 8/10 of the
// rectangle's height, then 8/10 of the last height while titleLength times
// the font's widest character (widestAt(height)) is wider than the
// rectangle and the height is at least 1. May end at 0 for a title that
// never fits.
int titleFontHeight(int rectHeight, int rectWidth, int titleLength,
                    const std::function<int(int height)>& widestAt);

// The footer's time, "%I:%M%p  %B %d, %Y" with English month names and
// AM/PM, its leading "0" (of the hour) written as a blank: " 9:05AM  June 03, 2026".
QString footerTime(const std::tm& local);

// The progress dialog's size of the picture file: "%3.2fK" of bytes / 1024
// up to 1 MiB (1048576 bytes) inclusive, else "%3.2fM" of bytes / 1048576.
QString pictureSizeText(int64_t bytes);

// The progress dialog's state, stepped by its 250 ms timer with the picture
// status the document holds (the control's numbers: 3 capturing, 4 writing,
// 5 failed, 6 complete).
class Progress {
public:
    static constexpr int kRange = 50;
    static constexpr int kDoneTicks = 8;
    static constexpr const char* kStartCaption = "Initializing print display. . .";
    static constexpr const char* kWritingCaption = "Creating print spool file. . .";
    static constexpr const char* kDoneCaption = "Done!";

    // One timer tick with picture status s.
    void tick(int status);
    // The picture file's size, once the dialog has opened it.
    void setFileSize(int64_t bytes);

    int position() const { return m_position; }
    const QString& caption() const { return m_caption; }
    const QString& sizeText() const { return m_sizeText; }
    bool okEnabled() const { return m_okEnabled; }
    // The picture is complete: the dialog opens the file to show its size.
    bool wantsFileSize() const { return m_highest > 5; }
    // The dialog closes itself: eight ticks after completion, or at once
    // when the picture failed (there is nothing more to wait for).
    bool finished() const { return m_finished; }
    bool failed() const { return m_failed; }

private:
    int m_highest = 0;
    int m_position = 0;
    int m_doneTicks = 0;
    bool m_okEnabled = false;
    bool m_finished = false;
    bool m_failed = false;
    QString m_caption = kStartCaption;
    QString m_sizeText = "0.0K";
};

// The size the control is asked to draw the picture at: the graph view's
// client size times 100, both halved together while either exceeds what the
// control accepts (10^6 per side). (0, 0) for an empty view.
struct PictureSize {
    int width = 0;
    int height = 0;
};
PictureSize pictureSize(int viewWidth, int viewHeight);

} // namespace print_page
