#include "CPlotrane2D.h"

uint32_t translateOleColor(uint32_t c) {
    if ((c & 0xFF000000u) == 0x80000000u) {
        // System colours: window and face colours light, text dark.
        switch (c & 0xFFu) {
        case 5:  // window
        case 15: // button face
            return 0x00FFFFFFu;
        default:
            return 0x00000000u;
        }
    }
    return c & 0x00FFFFFFu;
}
