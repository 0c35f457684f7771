// Built as a part of the viewer would be, to prove that it cannot be: the
// control's class header is not on the viewer's include path, so the viewer
// reaches the control only through its public interface and the factory.
#include "CPlotrane2DCtrl.h"
