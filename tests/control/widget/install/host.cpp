// A host of the graph control that knows nothing but the installed public
// headers and libplotrane2d.so: it creates the control by class identifier,
// binds an array by name and checks what the control shows and reports.
// Usage: host ARRAY.agl [FRAME.png]; exit status 0 when every check passes.
#include <QApplication>
#include <QImage>
#include <QSet>
#include <QThread>
#include <QVariantMap>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

#include "plotrane/ControlFactory.h"
#include "plotrane/PropertyTable.h"

static int fail(const char* what) {
    std::fprintf(stderr, "host: %s\n", what);
    return 1;
}

int main(int argc, char** argv) {
    if (argc < 2) return fail("usage: host ARRAY.agl");
    if (!std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    if (plotrane::createControl("PLOTRANE2D.Plotrane2DCtrl.1")) return fail("wrong id accepted");
    plotrane::ControlInstance c = plotrane::createControl(plotrane::kPlotrane2DClassId);
    if (!c) return fail("no control for the class id");
    using namespace plotrane;
    ControlDispatch& d = *c.dispatch;
    if (!d.SetProperty(DISPID_FileName, Variant(argv[1])).ok()) return fail("FileName refused");
    d.Invoke(DISPID_Update, {});
    if (d.GetProperty(DISPID_NumColumns).toInt() < 2) return fail("nothing bound");
    if (d.GetProperty(DISPID_MajorVersion).toInt() != kControlMajorVersion)
        return fail("another version");
    const DispatchStatus bad = d.SetProperty(DISPID_GraphStyle, Variant(int16_t(9)));
    if (bad.code != 380 || bad.message != "Invalid Graph Style") return fail("no error 380");

    // The render thread's frames reach the widget: the graph over a
    // background in BackColor (0x00BBGGRR).
    d.SetProperty(DISPID_BackColor, Variant(uint32_t(0x336699)));
    c.widget->resize(320, 240);
    c.widget->show();
    QImage frame;
    int colours = 0;
    for (int k = 0; k < 200 && colours < 16; ++k) {
        app.processEvents();
        QThread::msleep(100);
        frame = c.widget->grab().toImage();
        QSet<QRgb> seen;
        for (int y = 0; y < frame.height(); y += 3)
            for (int x = 0; x < frame.width(); x += 3)
                seen.insert(frame.pixel(x, y));
        colours = int(seen.size());
    }
    if (argc > 2) frame.save(argv[2]); // for a look
    if (colours < 16) return fail("no graph was drawn");
    if (frame.pixel(2, 2) != qRgb(0x99, 0x66, 0x33)) return fail("the background is not BackColor");
    // The property set goes into a bag and back into a second control.
    QVariantMap bag;
    plotrane::saveProperties(c.widget, bag);
    if (bag.value("BackColor").toInt() != 0x336699) return fail("BackColor not saved");
    plotrane::ControlInstance second = plotrane::createControl(plotrane::kPlotrane2DClassId);
    if (!plotrane::loadProperties(second.widget, bag).ok()) return fail("the set did not load");
    if (second.dispatch->GetProperty(DISPID_BackColor).toInt() != 0x336699)
        return fail("BackColor not loaded");
    if (plotrane::loadProperties(nullptr, bag).ok()) return fail("loaded into no control");
    delete second.widget;
    delete c.widget;
    std::printf("host: control created by class id, array bound, graph drawn\n");
    return 0;
}
