// The simulator: one window, which asks for a program file as it opens.

#include "frm_main.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
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

// Without any desktop Qt aborts with a core dump; say it in one line instead.
// A platform named by QT_QPA_PLATFORM or -platform (offscreen, say) is the
// user's choice and is left to Qt.
bool HasADesktop(int argc, char** argv) {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0)
            return true;
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char** argv) {
    if (AnswersAnOption(argc, argv))
        return 0;
    if (!HasADesktop(argc, argv)) {
        std::fputs("wren-simulator: needs a desktop (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                   "wren-trace checks and runs programs without one\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wren processor simulator"));
    FrmMain window;
    window.show();
    return QApplication::exec();
}
