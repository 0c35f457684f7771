#include "PrintPicture.h"

#include "CPlotrane2D.h"
#include "PrintPage.h"

#include <cstdio>

using namespace plotrane;

PrintPicture::~PrintPicture() {
    drop();
}

void PrintPicture::drop() {
    if (!m_file.empty()) std::remove(m_file.c_str());
    m_file.clear();
}

void PrintPicture::setFile(const std::string& path) {
    if (path != m_file) drop();
    m_file = path;
}

bool PrintPicture::begin(CPlotrane2D& c, int viewWidth, int viewHeight) {
    const std::array<float, 3> camera = {c.getFloat(DISPID_CamXPos), c.getFloat(DISPID_CamYPos),
                                         c.getFloat(DISPID_CamZPos)};
    double distance2 = 0;
    for (size_t k = 0; k < 3; ++k) {
        const double d = double(camera[k]) - double(m_camera[k]);
        distance2 += d * d;
    }
    if (!m_file.empty() && distance2 < 0.01) {
        m_status = kComplete;
        return false;
    }
    drop();
    m_camera = camera;
    const print_page::PictureSize size = print_page::pictureSize(viewWidth, viewHeight);
    if (size.width == 0) return false;
    m_status = 0;
    const Variant made = c.dispatch()->Invoke(
        DISPID_CreateMetaFile, {Variant(int(size.width)), Variant(int(size.height))});
    // A control that says it will not make the picture (a window too small,
    // another picture still being made) is not waited for.
    return !(made.type() == Variant::Type::Bool && !made.toBool());
}

void PrintPicture::copyToClipboard(CPlotrane2D& c) {
    c.dispatch()->Invoke(DISPID_CreateMetaFile, {Variant(0), Variant(0)});
}
