// The simulator: one window, which asks for a program file as it opens.

#include "frm_main.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

// Answered before Qt starts, so that they work without a display.
bool AnswersAnOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("wren-simulator " WREN_VERSION);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::puts("Usage: wren-simulator\n\n"
                      "Opens the Wren processor simulator. It asks for a program file as it\n"
                      "starts; see wren-simulator(1) for the window and the file format, and\n"
                      "wren-trace(1) for running programs without a window.\n\n"
                      "  --help      show this text\n"
                      "  --version   show the version");
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (AnswersAnOption(argc, argv))
        return 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wren processor simulator"));
    FrmMain window;
    window.show();
    return QApplication::exec();
}
