// Window timings under the offscreen platform: one timer tick's work (Step and
// the full refresh) and start-up from construction to the first shown frame.

#include "frm_main.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

QString g_program;

// Answers the start-up dialog as soon as it is open.
void AnswerDialogWith(const QString& path) {
    QTimer::singleShot(0, [path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        if (path.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
}

// One Single Step: the same work as a tick while Run is held.
void BM_StepAndUpdateDisplay(benchmark::State& state) {
    AnswerDialogWith(g_program);
    FrmMain window;
    QAction* step = window.findChild<QAction*>(QStringLiteral("mnuStep"));
    for (auto _ : state)
        step->trigger();
}
BENCHMARK(BM_StepAndUpdateDisplay)->Unit(benchmark::kMicrosecond);

void BM_StartupToFirstShow(benchmark::State& state) {
    for (auto _ : state) {
        AnswerDialogWith(g_program);
        FrmMain window;
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            state.SkipWithError("window not exposed");
    }
}
BENCHMARK(BM_StartupToFirstShow)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    g_program = dir.filePath(QStringLiteral("loop.ram"));
    {
        // Ten instructions to list, then a BVS onto itself with V set.
        QFile file(g_program);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write("LDAi 65535\nADDi 1\nBVS 4\nLDAi 1\nLDAi 2\nLDAi 3\nLDAi 4\nLDAi 5\n"
                   "LDAi 6\nLDAi 7\nLDAi 8\nLDAi 9\n");
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
