// The desktop program: creates the main window and runs it. The only command-line argument is
// a ROM or save-state file to open.
#include "frontend/gui/mainwindow.h"

int main(int argc, char** argv) {
    tov::Tfgb window(argc, argv);
    if (!window.create()) return 1;
    return window.run();
}
