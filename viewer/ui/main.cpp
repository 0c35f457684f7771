// tavrix: the array viewer.
#include "TavrixApp.h"

int main(int argc, char** argv) {
    return runTavrix(argc, argv);
}
