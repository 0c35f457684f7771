// tavrix: the array viewer, with its automation server.
#include "AutomationServer.h"
#include "TavrixApp.h"

int main(int argc, char** argv) {
    return runTavrix(argc, argv, automation::makeHooks);
}
