// The simulator: one window, which asks for a program file as it opens.

#include "frm_main.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wren processor simulator"));
    FrmMain window;
    window.show();
    return QApplication::exec();
}
