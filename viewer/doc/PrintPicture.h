// PrintPicture: the graph's picture for printing and export. The graph
// control writes it (an SVG file) when asked through its dispatch interface;
// this keeps the file the last request made, the status of the control's
// last MetafileUpdate event (0 when none; 6: complete, 5: failed) and the
// camera position the picture was made at, so that printing again without
// moving the camera reuses it. The file is deleted when the picture is
// dropped (the graph changed) and when this object goes. It knows nothing of
// the document: it is handed the control. Host thread only.
#pragma once

#include <array>
#include <string>

class CPlotrane2D;

class PrintPicture {
public:
    // What the control's MetafileUpdate status says of a finished picture.
    static constexpr int kComplete = 6;
    static constexpr int kFailed = 5;

    PrintPicture() = default;
    ~PrintPicture();
    PrintPicture(const PrintPicture&) = delete;
    PrintPicture& operator=(const PrintPicture&) = delete;

    const std::string& file() const { return m_file; }
    // The file the control wrote; the one kept before is deleted unless it
    // is the same.
    void setFile(const std::string& path);
    int status() const { return m_status; }
    void setStatus(int status) { m_status = status; }

    // Printing begins: reuses the kept picture when the camera has moved
    // less than 0.1 since it was made (squared distance below 0.01), else
    // drops it and asks the control for a new one of the given size (the
    // graph view's client size in pixels; the control gets it times 100).
    // Returns true when a new picture was asked for, false when the kept one
    // stands (status then kComplete) or no picture can be made (an empty
    // view, or the control refuses the request).
    bool begin(CPlotrane2D& control, int viewWidth, int viewHeight);
    // Printing ended: the status goes back to 0 (the file stays kept).
    void end() { m_status = 0; }
    // The graph changed: the kept picture is deleted.
    void drop();

    // Asks the control to copy its picture to the clipboard after its next
    // frame (a request of width and height 0).
    static void copyToClipboard(CPlotrane2D& control);

private:
    std::string m_file;
    int m_status = 0;
    std::array<float, 3> m_camera{};
};
