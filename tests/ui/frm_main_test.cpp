#include "common_dialog.h"
#include "frm_main.h"
#include "modal_driver.h"
#include "wren.h"
#include "wren_test_peer.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QListView>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

struct Window {
    std::unique_ptr<ModalDriver> driver;
    std::unique_ptr<FrmMain> frm;

    template <typename T = QWidget> T* control(const char* name) const {
        return frm->findChild<T*>(QString::fromLatin1(name));
    }
    QString text(const char* label) const { return control<QLabel>(label)->text(); }
    QString listing() const { return control<QPlainTextEdit>("txtCode")->toPlainText(); }
    QPushButton* button(const char* name) const { return control<QPushButton>(name); }
    QAction* action(const char* name) const { return frm->findChild<QAction*>(name); }
    const wren::Wren& cpu() const { return frm->Processor(); }
};

const QString kFilter = QStringLiteral("All Files (*.*)|*.*|RAM Files(*.ram)|*.ram|");

// The loop used for runs: BVS onto itself with V set, 3 cycles a step.
const char* const kEndlessLoop = "LDAi 65535\nADDi 1\nBVS 4\n";

} // namespace

class FrmMainTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

    QString WriteProgram(const QString& name, const QByteArray& content) {
        const QString path = dir_.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        file.write(content);
        return path;
    }

    // Constructs the window; the driver answers its start-up dialog with path
    // (Cancel when empty) and stays to close any message box that follows.
    static Window Open(const QString& path) {
        Window w;
        w.driver = std::make_unique<ModalDriver>(path);
        w.frm = std::make_unique<FrmMain>();
        return w;
    }

    Window OpenProgram(const QByteArray& content) {
        return Open(WriteProgram(QStringLiteral("program.ram"), content));
    }

    static void ShowAndFocusRun(const Window& w) {
        w.frm->show();
        QVERIFY(QTest::qWaitForWindowActive(w.frm.get()));
        w.button("cmdRun")->setFocus();
        QVERIFY(w.button("cmdRun")->hasFocus());
    }

    static void SendKey(QWidget* target, QEvent::Type type, bool autoRepeat) {
        QKeyEvent event(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), autoRepeat);
        QApplication::sendEvent(target, &event);
    }

    // Waits for some ticks of Timer1 and returns how many there were.
    static int WaitTicks(const Window& w, int ticks) {
        QSignalSpy spy(w.frm->findChild<QTimer*>(QStringLiteral("Timer1")), &QTimer::timeout);
        while (spy.count() < ticks)
            spy.wait(200);
        return static_cast<int>(spy.count());
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        // Closing a window under test must not end the test program.
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void controlsSitWhereTheLayoutPutsThem() {
        const Window w = Open({});
        QCOMPARE(w.frm->windowTitle(), QStringLiteral("Wren processor simulator"));
        QVERIFY(!w.frm->windowIcon().isNull());
        w.frm->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.frm.get()));
        QCOMPARE(w.control("client")->size(), QSize(346, 308));
        // Fixed size: the window cannot be resized or maximised.
        QCOMPARE(w.frm->minimumSize(), w.frm->maximumSize());
        QCOMPARE(w.frm->size(), w.frm->minimumSize());

        const struct {
            const char* name;
            QRect rect;
            QString text;
        } controls[] = {
            {"frmStatus", {224, 8, 113, 121}, "STATUS"}, {"lblPC", {8, 24, 97, 17}, {}},
            {"lblAccum", {8, 48, 97, 17}, {}},           {"LblV", {8, 72, 97, 17}, {}},
            {"lblCycles", {8, 96, 97, 17}, {}},          {"txtCode", {8, 16, 161, 113}, {}},
            {"CmdStep", {224, 144, 113, 25}, "Step"},    {"cmdRun", {224, 176, 113, 25}, "Run"},
            {"cmdReset", {224, 208, 113, 25}, "Reset"},  {"cmdPeek", {224, 240, 113, 25}, "Peek"},
            {"cmdPoke", {224, 272, 113, 25}, "Poke"},
        };
        for (const auto& c : controls) {
            QWidget* widget = w.control(c.name);
            QVERIFY2(widget, c.name);
            QCOMPARE(widget->geometry(), c.rect);
            if (auto* button = qobject_cast<QPushButton*>(widget)) {
                QCOMPARE(button->text(), c.text);
                QVERIFY(!button->isDefault());
            }
            // What a screen reader reads: a button's caption, a label's text.
            QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(widget);
            QVERIFY2(a11y && !a11y->text(QAccessible::Name).isEmpty(), c.name);
        }
        auto* frame = w.control<QGroupBox>("frmStatus");
        QCOMPARE(frame->title(), QStringLiteral("STATUS"));
        QVERIFY(frame->font().bold());
        QCOMPARE(frame->font().pointSizeF(), 9.75);
        QVERIFY(!QFontInfo(frame->font()).family().isEmpty());

        // Everyday values at the normal size; the widest ones smaller, but whole.
        for (const char* name : {"lblPC", "lblAccum", "LblV", "lblCycles"}) {
            QVERIFY(!w.control<QLabel>(name)->font().bold());
            QCOMPARE(w.control<QLabel>(name)->font().pointSizeF(),
                     QApplication::font().pointSizeF());
        }
        wren::WrenTestPeer::SetRegisters(w.frm->Processor(), INT32_MIN, INT32_MIN, true, INT32_MAX);
        QTest::mouseClick(w.control("client"), Qt::LeftButton, {}, QPoint(100, 200));
        QCOMPARE(w.text("lblCycles"), QStringLiteral("Cycles: 2147483647"));
        for (const char* name : {"lblPC", "lblAccum", "lblCycles"}) {
            auto* label = w.control<QLabel>(name);
            QVERIFY2(QFontMetrics(label->font()).horizontalAdvance(label->text()) <=
                         label->contentsRect().width(),
                     name);
            QVERIFY2(label->font().pointSizeF() >= 6.0, name);
        }

        auto* code = w.control<QPlainTextEdit>("txtCode");
        QVERIFY(code->isReadOnly());
        QVERIFY(code->textInteractionFlags() & Qt::TextSelectableByMouse);
        QCOMPARE(code->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(code->toolTip(), QStringLiteral("Display of instructions being executed"));

        const struct {
            const char* name;
            const char* caption;
        } menus[] = {{"mnuFile", "&File"},       {"mnuOpen", "&Open ROM..."},
                     {"mnuClose", "&Close ROM"}, {"mnuExit", "E&xit"},
                     {"mnuRun", "&Run"},         {"mnuStep", "&Single Step"},
                     {"mnuHelp", "&Help"},       {"mnuContents", "&Contents..."},
                     {"mnuAbout", "&About..."}};
        for (const auto& m : menus) {
            QAction* action = w.action(m.name);
            QVERIFY2(action, m.name);
            QCOMPARE(action->text(), QString::fromLatin1(m.caption));
            QVERIFY(action->shortcut().isEmpty());
        }
        auto* timer = w.frm->findChild<QTimer*>(QStringLiteral("Timer1"));
        QCOMPARE(timer->interval(), 20);
        QCOMPARE(timer->timerType(), Qt::PreciseTimer);
        QVERIFY(timer->isActive());
    }

    void startupDialogOpensOnRamFilesInTheProgramFolder() {
        const Window w = Open({});
        const DialogSeen& seen = w.driver->dialog;
        QVERIFY(seen.shown);
        QCOMPARE(seen.title, QStringLiteral("Open RAM file"));
        QCOMPARE(seen.directory, QCoreApplication::applicationDirPath());
        QCOMPARE(seen.filterTexts, QStringList({QStringLiteral("All Files (*.*)"),
                                                QStringLiteral("RAM Files(*.ram)")}));
        QCOMPARE(seen.selectedFilterText, QStringLiteral("RAM Files(*.ram)"));
        QVERIFY(!seen.fileMustExist);
        QVERIFY(!seen.hasCheckBox);
    }

    void dialogFiltersListRamFilesOrEveryFile() {
        QTemporaryDir folder;
        for (const char* name : {"a.ram", "b.txt", "README"})
            QFile(folder.filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly);

        QStringList ramListing;
        QStringList allListing;
        QString ramType;
        QTimer inspector;
        inspector.start(20);
        int polls = 0;
        connect(&inspector, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            if (++polls > 250) { // give up after some 5 s rather than hang
                dialog->reject();
                return;
            }
            auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
            QStringList names;
            for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
                names << view->model()->index(row, 0, view->rootIndex()).data().toString();
            names.sort();
            if (ramListing.isEmpty()) {
                ramListing = names;   // the model fills in asynchronously
                if (!names.isEmpty()) // the Type column of the details view
                    ramType = view->model()->index(0, 2, view->rootIndex()).data().toString();
                if (!names.isEmpty())
                    dialog->selectNameFilter(CommonDialog::NameFilters(kFilter).first());
            } else if (names.size() < 3) {
                return;
            } else {
                allListing = names;
                dialog->reject();
            }
        });

        CommonDialog dialog;
        dialog.setFlags(CommonDialog::kHideReadOnly);
        dialog.setInitDir(folder.path());
        dialog.setFilter(kFilter);
        dialog.setFilterIndex(2);
        dialog.ShowOpen();
        QCOMPARE(ramListing, QStringList{QStringLiteral("a.ram")});
        QCOMPARE(ramType, QStringLiteral("Wren program"));
        QCOMPARE(allListing, QStringList({"README", "a.ram", "b.txt"}));
        QCOMPARE(dialog.FileName(), QString());
    }

    void cancelOpensTheEmptyMachineSilently() {
        const Window w = Open({});
        QVERIFY(w.driver->messages.isEmpty());
        QCOMPARE(w.text("lblAccum"), QStringLiteral("A: 0"));
        QCOMPARE(w.text("lblPC"), QStringLiteral("PC: 0"));
        QCOMPARE(w.text("LblV"), QStringLiteral("V: False"));
        QCOMPARE(w.text("lblCycles"), QStringLiteral("Cycles: 0"));
        QCOMPARE(w.listing(), QStringLiteral(" --> "));
        QCOMPARE(w.cpu().HiMem(), 0);
    }

    void loadProblemsAreReportedWithFileAndLine_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("content"); // empty: the file is not created
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("hiMem");
        QTest::newRow("missing file") << "missing.ram" << QByteArray() << "cannot open" << 0;
        QTest::newRow("operand out of range")
            << "range.ram" << QByteArray("LDAi 1\n{ next\nLDAi 1e12\n") << "line 3" << 2;
    }

    void loadProblemsAreReportedWithFileAndLine() {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QFETCH(int, hiMem);
        const QString path =
            content.isEmpty() ? dir_.filePath(fileName) : WriteProgram(fileName, content);
        const Window w = Open(path);
        QCOMPARE(w.driver->messages.size(), 1);
        QVERIFY2(w.driver->messages.first().contains(path), qPrintable(w.driver->messages.first()));
        QVERIFY2(w.driver->messages.first().contains(expected),
                 qPrintable(w.driver->messages.first()));
        QCOMPARE(w.cpu().HiMem(), hiMem);
        QCOMPARE(w.text("lblPC"), QStringLiteral("PC: 0"));
    }

    void anyFileLoadsWhateverItsExtension() {
        const Window w = Open(WriteProgram(QStringLiteral("PROGRAM"), "LDAi 42\n"));
        QVERIFY(w.driver->messages.isEmpty());
        QCOMPARE(w.listing(), QStringLiteral(" --> 0   LDAi 42\n"));
    }

    void statusAndListingTexts_data() {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<int>("steps");
        QTest::addColumn<QStringList>("status"); // A, PC, V, Cycles
        QTest::addColumn<QString>("listing");

        QTest::newRow("d=20 lists ten lines")
            << QByteArray("LDAi 0\nLDAi 1\nLDAi 2\nLDAi 3\nLDAi 4\n"
                          "LDAi 5\nLDAi 6\nLDAi 7\nLDAi 8\nLDAi 9\n")
            << 0 << QStringList{"A: 0", "PC: 0", "V: False", "Cycles: 0"}
            << " --> 0   LDAi 0\n2   LDAi 1\n4   LDAi 2\n6   LDAi 3\n8   LDAi 4\n"
               "10   LDAi 5\n12   LDAi 6\n14   LDAi 7\n16   LDAi 8\n18   LDAi 9\n";
        QTest::newRow("d=19 at odd PC lists ten lines")
            << QByteArray("LDAi 3\nSTApc 0\nLDAi 16\nLDAi 100\nLDAi 100\nLDAi 100\n"
                          "LDAi 100\nLDAi 100\nLDAi 100\nLDAi 100\nLDAi 100\n")
            << 2 << QStringList{"A: 3", "PC: 3", "V: False", "Cycles: 6"}
            << " --> 3   ??? \n5   LDAm 32\n7   ??? \n9   ??? \n11   ??? \n"
               "13   ??? \n15   ??? \n17   ??? \n19   ??? \n21   ??? \n";
        QTest::newRow("d=2 lists one line")
            << QByteArray("LDAi 7\nLDAi 8\nLDAi 9\n") << 2
            << QStringList{"A: 8", "PC: 4", "V: False", "Cycles: 6"} << " --> 4   LDAi 9\n";
        QTest::newRow("d=1 lists one line")
            << QByteArray("LDAi 5\nSTApc 0\nLDAi 1\n") << 2
            << QStringList{"A: 5", "PC: 5", "V: False", "Cycles: 6"} << " --> 5   ADDm 0\n";
        QTest::newRow("d=0 lists nothing")
            << QByteArray("LDAi 7\nLDAi 8\n") << 2
            << QStringList{"A: 8", "PC: 4", "V: False", "Cycles: 6"} << " --> ";
        QTest::newRow("V set by a carry")
            << QByteArray("LDAi -65535\nADDi -1\nLDAi 65535\nADDi 1\n") << 4
            << QStringList{"A: 0", "PC: 8", "V: True", "Cycles: 12"} << " --> ";
        QTest::newRow("negative PC lists locations outside memory")
            << QByteArray("LDAi -4\nSTApc 0\n") << 2
            << QStringList{"A: -4", "PC: -4", "V: False", "Cycles: 6"}
            << " --> -4   ??? \n-2   ??? \n0   LDAi -4\n2   STApc 0\n";
        QTest::newRow("negative accumulator")
            << QByteArray("LDAi -2147483648\n") << 1
            << QStringList{"A: -2147483648", "PC: 2", "V: False", "Cycles: 3"} << " --> ";
    }

    void statusAndListingTexts() {
        QFETCH(QByteArray, program);
        QFETCH(int, steps);
        QFETCH(QStringList, status);
        QFETCH(QString, listing);
        const Window w = OpenProgram(program);
        for (int i = 0; i < steps; ++i)
            QTest::mouseClick(w.button("CmdStep"), Qt::LeftButton);
        QCOMPARE(w.text("lblAccum"), status[0]);
        QCOMPARE(w.text("lblPC"), status[1]);
        QCOMPARE(w.text("LblV"), status[2]);
        QCOMPARE(w.text("lblCycles"), status[3]);
        QCOMPARE(w.listing(), listing);
    }

    void stepAndSingleStepExecuteOneInstructionEach() {
        const Window w = OpenProgram("LDAi 1\nADDi 2\nADDi 3\n");
        QTest::mouseClick(w.button("CmdStep"), Qt::LeftButton);
        QCOMPARE(w.text("lblAccum"), QStringLiteral("A: 1"));
        w.action("mnuStep")->trigger();
        QCOMPARE(w.text("lblAccum"), QStringLiteral("A: 3"));
        QCOMPARE(w.text("lblCycles"), QStringLiteral("Cycles: 6"));
        QCOMPARE(w.listing(), QStringLiteral(" --> 4   ADDi 3\n"));
        w.action("mnuStep")->trigger();
        w.action("mnuStep")->trigger(); // word 0 at address 6: nothing happens
        QCOMPARE(w.text("lblPC"), QStringLiteral("PC: 6"));
        QCOMPARE(w.text("lblCycles"), QStringLiteral("Cycles: 9"));
    }

    void resetClearsRegistersAndKeepsTheProgram() {
        const Window w = OpenProgram("LDAi 65535\nADDi 1\nSTAm 0\n");
        for (int i = 0; i < 3; ++i)
            QTest::mouseClick(w.button("CmdStep"), Qt::LeftButton);
        QTest::mouseClick(w.button("cmdReset"), Qt::LeftButton);
        QCOMPARE(w.text("lblAccum"), QStringLiteral("A: 0"));
        QCOMPARE(w.text("lblPC"), QStringLiteral("PC: 0"));
        QCOMPARE(w.text("LblV"), QStringLiteral("V: False"));
        QCOMPARE(w.text("lblCycles"), QStringLiteral("Cycles: 0"));
        // STAm 0 wrote A (0) over the first opcode, and Reset keeps that.
        QCOMPARE(w.listing(), QStringLiteral(" --> 0   ??? \n2   ADDi 1\n4   STAm 0\n"));
    }

    void holdingRunWithAnyMouseButtonStepsOncePerTick_data() {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::newRow("left") << Qt::LeftButton;
        QTest::newRow("right") << Qt::RightButton;
        QTest::newRow("middle") << Qt::MiddleButton;
    }

    void holdingRunWithAnyMouseButtonStepsOncePerTick() {
        QFETCH(Qt::MouseButton, button);
        const Window w = OpenProgram(kEndlessLoop);
        ShowAndFocusRun(w);
        QPushButton* run = w.button("cmdRun");
        QCOMPARE(WaitTicks(w, 3), 3);
        QCOMPARE(w.cpu().Cycles(), 0); // idle ticks do nothing

        QSignalSpy ticks(w.frm->findChild<QTimer*>(QStringLiteral("Timer1")), &QTimer::timeout);
        QTest::mousePress(run, button);
        QCOMPARE(run->text(), QStringLiteral("Release to stop"));
        QVERIFY(w.frm->RunIT());
        while (ticks.count() < 8)
            ticks.wait(200);
        QTest::mouseRelease(run, button);
        const int ticksWhileHeld = static_cast<int>(ticks.count());
        QCOMPARE(run->text(), QStringLiteral("Run"));
        QVERIFY(!w.frm->RunIT());

        // Every instruction of the loop costs 3 cycles: one step per tick held.
        QCOMPARE(w.cpu().Cycles() / 3, ticksWhileHeld);
        const int cycles = w.cpu().Cycles();
        WaitTicks(w, 3);
        QCOMPARE(w.cpu().Cycles(), cycles);
        QCOMPARE(w.text("lblCycles"), QStringLiteral("Cycles: %1").arg(cycles));
    }

    void quickSecondPressStillHoldsRun() {
        const Window w = OpenProgram(kEndlessLoop);
        ShowAndFocusRun(w);
        QPushButton* run = w.button("cmdRun");
        QTest::mouseClick(run, Qt::LeftButton);
        QVERIFY(!w.frm->RunIT());
        const QPointF centre = QRectF(run->rect()).center();
        QMouseEvent second(QEvent::MouseButtonDblClick, centre, run->mapToGlobal(centre),
                           Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(run, &second);
        QVERIFY(w.frm->RunIT());
        QCOMPARE(run->text(), QStringLiteral("Release to stop"));
        QTest::mouseRelease(run, Qt::LeftButton);
        QVERIFY(!w.frm->RunIT());
    }

    void heldKeyRunsThroughAutoRepeatUntilReleased() {
        const Window w = OpenProgram(kEndlessLoop);
        ShowAndFocusRun(w);
        QPushButton* run = w.button("cmdRun");
        SendKey(run, QEvent::KeyPress, false);
        for (int i = 0; i < 4; ++i) {
            WaitTicks(w, 1);
            SendKey(run, QEvent::KeyRelease, true);
            QVERIFY(w.frm->RunIT());
            SendKey(run, QEvent::KeyPress, true);
            QCOMPARE(run->text(), QStringLiteral("Release to stop"));
        }
        WaitTicks(w, 2);
        QVERIFY(w.cpu().Cycles() > 6);
        SendKey(run, QEvent::KeyRelease, false);
        QVERIFY(!w.frm->RunIT());
        QCOMPARE(run->text(), QStringLiteral("Run"));
    }

    void tabMovesFocusWithoutRunning() {
        const Window w = OpenProgram(kEndlessLoop);
        w.frm->show();
        QVERIFY(QTest::qWaitForWindowActive(w.frm.get()));
        QCOMPARE(QApplication::focusWidget(), w.control("txtCode"));
        const char* const order[] = {"CmdStep", "cmdRun", "cmdReset", "txtCode", "CmdStep"};
        for (const char* name : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), w.control(name));
            QVERIFY(!w.frm->RunIT());
        }
        QTest::keyClick(w.control("CmdStep"), Qt::Key_Tab);
        QTest::keyClick(w.control("cmdRun"), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), w.control("CmdStep"));
        QVERIFY(!w.frm->RunIT());

        // As in real use, the Shift+Tab key goes down on Run and its release
        // lands on the widget that has the focus by then. (A Shift key
        // pressed alone on Run holds it, as any key does.)
        w.button("cmdRun")->setFocus();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier);
        QApplication::sendEvent(w.control("cmdRun"), &press);
        QCOMPARE(QApplication::focusWidget(), w.control("CmdStep"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Backtab, Qt::ShiftModifier);
        QApplication::sendEvent(w.control("CmdStep"), &release);
        WaitTicks(w, 2);
        QVERIFY(!w.frm->RunIT());
        QCOMPARE(w.button("cmdRun")->text(), QStringLiteral("Run"));
        QCOMPARE(w.cpu().Cycles(), 0);
    }

    void resetDuringARunRestartsFromAddressZero() {
        const Window w = OpenProgram(kEndlessLoop);
        ShowAndFocusRun(w);
        SendKey(w.button("cmdRun"), QEvent::KeyPress, false);
        WaitTicks(w, 4);
        QTest::mouseClick(w.button("cmdReset"), Qt::LeftButton);
        QCOMPARE(w.cpu().PCounter(), 0);
        QCOMPARE(w.cpu().Cycles(), 0);
        // The release reaches Reset, which now has the focus: the run goes on.
        SendKey(w.button("cmdReset"), QEvent::KeyRelease, false);
        WaitTicks(w, 3);
        QVERIFY(w.frm->RunIT());
        QCOMPARE(w.cpu().PCounter(), 4);
        QCOMPARE(w.button("cmdRun")->text(), QStringLiteral("Release to stop"));
        SendKey(w.button("cmdRun"), QEvent::KeyPress, false);
        SendKey(w.button("cmdRun"), QEvent::KeyRelease, false);
        QVERIFY(!w.frm->RunIT());
    }

    void peekPokeAndInertMenuItemsChangeNothing() {
        const Window w = OpenProgram("LDAi 9\n");
        QVERIFY(!w.button("cmdPeek")->isEnabled());
        QVERIFY(!w.button("cmdPoke")->isEnabled());
        QSignalSpy peek(w.button("cmdPeek"), &QPushButton::clicked);
        QTest::mouseClick(w.button("cmdPeek"), Qt::LeftButton);
        QTest::mouseClick(w.button("cmdPoke"), Qt::LeftButton);
        QCOMPARE(peek.count(), 0);
        for (const char* name : {"mnuOpen", "mnuClose", "mnuContents", "mnuAbout"}) {
            QVERIFY2(w.action(name), name);
            QVERIFY(w.action(name)->isEnabled());
            w.action(name)->trigger();
        }
        QVERIFY(w.driver->messages.isEmpty());
        QCOMPARE(w.cpu().PCounter(), 0);
        QCOMPARE(w.listing(), QStringLiteral(" --> 0   LDAi 9\n"));
    }

    void exitAndCloseBoxEndARun_data() {
        QTest::addColumn<bool>("viaMenu");
        QTest::newRow("File > Exit") << true;
        QTest::newRow("close box") << false;
    }

    void exitAndCloseBoxEndARun() {
        QFETCH(bool, viaMenu);
        const Window w = OpenProgram(kEndlessLoop);
        ShowAndFocusRun(w);
        QTest::mousePress(w.button("cmdRun"), Qt::LeftButton);
        WaitTicks(w, 2);
        if (viaMenu)
            w.action("mnuExit")->trigger();
        else
            w.frm->close();
        QVERIFY(!w.frm->isVisible());
        QVERIFY(!w.frm->findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
    }

    void onlyAClickOnTheFreeAreaRefreshes_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QPoint>("at"); // in the target's coordinates
        QTest::addColumn<bool>("refreshes");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::newRow("free area") << "client" << QPoint(100, 200) << true << Qt::LeftButton;
        QTest::newRow("free area, right button")
            << "client" << QPoint(100, 200) << false << Qt::RightButton;
        QTest::newRow("label") << "lblPC" << QPoint(5, 5) << false << Qt::LeftButton;
        QTest::newRow("frame border") << "frmStatus" << QPoint(2, 60) << false << Qt::LeftButton;
        QTest::newRow("frame caption") << "frmStatus" << QPoint(20, 5) << false << Qt::LeftButton;
        QTest::newRow("listing") << "txtCode" << QPoint(20, 20) << false << Qt::LeftButton;
    }

    void onlyAClickOnTheFreeAreaRefreshes() {
        QFETCH(QString, target);
        QFETCH(QPoint, at);
        QFETCH(bool, refreshes);
        QFETCH(Qt::MouseButton, button);
        const Window w = OpenProgram("LDAi 9\n");
        w.frm->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.frm.get()));
        w.control<QLabel>("lblPC")->setText(QStringLiteral("stale"));
        QTest::mouseClick(w.control(target.toLatin1().constData()), button, {}, at);
        QCOMPARE(w.text("lblPC") == QStringLiteral("PC: 0"), refreshes);
    }

    void faultStopsTheRunAndIsReportedOnce() {
        const Window w = OpenProgram("LDAi -2\nSTApc 0\n");
        ShowAndFocusRun(w);
        SendKey(w.button("cmdRun"), QEvent::KeyPress, false);
        WaitTicks(w, 5);
        QVERIFY(!w.frm->RunIT());
        QCOMPARE(w.button("cmdRun")->text(), QStringLiteral("Run"));
        QCOMPARE(w.driver->messages.size(), 1);
        QVERIFY2(w.driver->messages.first().contains(QStringLiteral("index out of range")),
                 qPrintable(w.driver->messages.first()));
        QVERIFY(w.driver->messages.first().contains(QStringLiteral("-2")));
        QCOMPARE(w.text("lblPC"), QStringLiteral("PC: -2"));
        QCOMPARE(w.text("lblCycles"), QStringLiteral("Cycles: 6"));

        // The key is still held: its auto-repeat must not start another run.
        SendKey(w.button("cmdRun"), QEvent::KeyRelease, true);
        SendKey(w.button("cmdRun"), QEvent::KeyPress, true);
        WaitTicks(w, 3);
        QVERIFY(!w.frm->RunIT());
        QCOMPARE(w.driver->messages.size(), 1);
    }

    void faultOnStepShowsTheStateItLeft() {
        const Window w = OpenProgram("LDAi 2147483647\nADDi 1\n");
        QTest::mouseClick(w.button("CmdStep"), Qt::LeftButton);
        QTest::mouseClick(w.button("CmdStep"), Qt::LeftButton);
        QCOMPARE(w.driver->messages.size(), 1);
        QVERIFY(w.driver->messages.first().contains(QStringLiteral("arithmetic overflow")));
        QVERIFY(w.driver->messages.first().contains(QStringLiteral("address 2")));
        QCOMPARE(w.text("lblPC"), QStringLiteral("PC: 4"));
        QCOMPARE(w.text("lblAccum"), QStringLiteral("A: 2147483647"));
    }
};

QTEST_MAIN(FrmMainTest)
#include "frm_main_test.moc"
