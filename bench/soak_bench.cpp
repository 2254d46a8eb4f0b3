// Soak: holds Run down on an endless loop for minutes in a real window and
// reports the steps per second (one per 20 ms tick: 50) and the resident
// memory, which must stay flat. Usage: wren-soak-bench [SECONDS]; run it under
// a display (make soak uses Xvfb).

#include "frm_main.h"
#include "wren.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 180;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("loop.ram"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write("LDAi 65535\nADDi 1\nBVS 4\n"); // BVS onto itself: 3 cycles a step
    file.close();

    QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
    FrmMain frm;
    frm.show();
    if (!QTest::qWaitForWindowExposed(&frm))
        return 1;
    auto* run = frm.findChild<QPushButton*>(QStringLiteral("cmdRun"));
    QTest::mousePress(run, Qt::LeftButton);
    QTest::qWait(1000); // settle before the first sample

    const wren::Wren& cpu = frm.Processor();
    QElapsedTimer clock;
    clock.start();
    const long startCycles = cpu.Cycles();
    const long startKiB = ResidentKiB();
    std::printf("%8s %12s %10s %10s\n", "seconds", "steps", "steps/s", "RSS KiB");
    long lastCycles = startCycles;
    qint64 lastMs = 0;
    while (clock.elapsed() < seconds * 1000LL) {
        QTest::qWait(10000);
        const qint64 ms = clock.elapsed();
        const long cycles = cpu.Cycles();
        std::printf("%8.0f %12ld %10.2f %10ld\n", ms / 1000.0, (cycles - startCycles) / 3,
                    (cycles - lastCycles) / 3 * 1000.0 / double(ms - lastMs), ResidentKiB());
        std::fflush(stdout);
        lastCycles = cycles;
        lastMs = ms;
    }
    QTest::mouseRelease(run, Qt::LeftButton);
    const double total = clock.elapsed() / 1000.0;
    const long steps = (cpu.Cycles() - startCycles) / 3;
    std::printf("held Run %.0f s: %ld steps, %.2f steps/s; RSS %ld KiB at the start, %ld KiB at "
                "the end\n",
                total, steps, steps / total, startKiB, ResidentKiB());
    return 0;
}
