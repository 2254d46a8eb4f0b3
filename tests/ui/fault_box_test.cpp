// The fault message box against a key that was held down when it opened: the
// real QMessageBox, driven with key events as X11 delivers a held key.
#include "frm_main.h"
#include "modal_driver.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

class FaultBoxTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    // A window on "LDAi 70000, STApc 0", whose third step faults, with the
    // focus on the named button.
    struct FaultWindow {
        FrmMain frm;
        QPushButton* button = nullptr;
    };
    std::unique_ptr<FaultWindow> OpenFaultProgram(const char* focus) {
        const QString path = dir_.filePath(QStringLiteral("fault.ram"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return nullptr;
        file.write("LDAi 70000\nSTApc 0\n");
        file.close();
        auto driver = std::make_unique<ModalDriver>(path);
        auto w = std::make_unique<FaultWindow>();
        driver.reset();
        w->frm.show();
        if (!QTest::qWaitForWindowActive(&w->frm))
            return nullptr;
        w->button = w->frm.findChild<QPushButton*>(QString::fromLatin1(focus));
        w->button->setFocus();
        return w;
    }

    static void Send(QWidget* target, QEvent::Type type, int key, bool autoRepeat, ulong time) {
        const QString text = key == Qt::Key_Space ? QStringLiteral(" ") : QString();
        QKeyEvent event(type, key, Qt::NoModifier, text, autoRepeat);
        event.setTimestamp(time);
        QApplication::sendEvent(target, &event);
        QApplication::processEvents();
    }

    // Plays steps on the box: "p+"/"r+" an auto-repeat press/release of the
    // held key, "P<ms>"/"R<ms>" a press/release flagged real at that time,
    // "esc" and "tab" presses of those keys, "click" a click on OK.
    static void Play(QMessageBox* box, int held, const QString& steps) {
        QWidget* ok = box->defaultButton();
        for (const QString& step : steps.split(u' ', Qt::SkipEmptyParts)) {
            if (!box->isVisible())
                return;
            if (step == u"p+" || step == u"r+")
                Send(ok, step[0] == u'p' ? QEvent::KeyPress : QEvent::KeyRelease, held, true, 0);
            else if (step[0] == u'P' || step[0] == u'R')
                Send(ok, step[0] == u'P' ? QEvent::KeyPress : QEvent::KeyRelease, held, false,
                     step.mid(1).toULong());
            else if (step == u"esc")
                Send(ok, QEvent::KeyPress, Qt::Key_Escape, false, 99999);
            else if (step == u"click")
                QTest::mouseClick(ok, Qt::LeftButton);
        }
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void heldKeyCannotAnswerTheBox_data() {
        QTest::addColumn<int>("held");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("stays");
        const QString repeats = QStringLiteral("r+ p+ r+ p+ r+ p+ ");
        for (int key : {int(Qt::Key_Space), int(Qt::Key_Return)}) {
            const QByteArray name = key == Qt::Key_Space ? "space: " : "return: ";
            QTest::newRow(name + "auto-repeat") << key << repeats << true;
            QTest::newRow(name + "repeat flagged real")
                << key << repeats + "R1000 P1000 r+ p+" << true;
            QTest::newRow(name + "release") << key << repeats + "R1000 P1000 R1500" << true;
            QTest::newRow(name + "fresh press") << key << repeats + "R1500 P1800 R1900" << false;
            // After a real release, a press within the gap is a repeat's
            // second half; at the gap it is fresh.
            QTest::newRow(name + "press 29 ms after a release")
                << key << repeats + "R1500 P1529 R1600" << true;
            QTest::newRow(name + "press 30 ms after a release")
                << key << repeats + "R1500 P1530 R1600" << false;
            QTest::newRow(name + "escape") << key << repeats + "esc" << false;
            QTest::newRow(name + "click") << key << repeats + "click" << false;
        }
    }

    void heldKeyCannotAnswerTheBox() {
        QFETCH(int, held);
        QFETCH(QString, steps);
        QFETCH(bool, stays);
        const auto w = OpenFaultProgram("cmdRun");
        QVERIFY(w);
        auto* run = w->button;

        bool stayed = false;
        const OnFirstBox player([&](QMessageBox* box) {
            Play(box, held, steps);
            stayed = box->isVisible();
            if (stayed)
                box->done(QMessageBox::Ok);
        });
        Send(run, QEvent::KeyPress, held, false, 100);
        QTRY_VERIFY_WITH_TIMEOUT(player.Done(), 5000);
        QCOMPARE(stayed, stays);
        QVERIFY(!w->frm.RunIT());
    }

    // Step clicks on release: a fault from that step opens the box just
    // after the key came up, and a press that follows at once (the key going
    // down again, or a repeat's mis-flagged pair) must not answer it.
    void keyReleasedJustBeforeTheFaultCannotAnswerTheBox() {
        const auto w = OpenFaultProgram("CmdStep");
        QVERIFY(w);
        auto* step = w->button;
        for (ulong t : {100, 300}) { // LDAi, then STApc to 70000
            Send(step, QEvent::KeyPress, Qt::Key_Space, false, t);
            Send(step, QEvent::KeyRelease, Qt::Key_Space, false, t + 50);
        }
        bool stayed = false;
        const OnFirstBox player([&](QMessageBox* box) {
            Play(box, Qt::Key_Space, QStringLiteral("P600 R650"));
            stayed = box->isVisible();
            if (stayed)
                box->done(QMessageBox::Ok);
        });
        Send(step, QEvent::KeyPress, Qt::Key_Space, false, 500);
        Send(step, QEvent::KeyRelease, Qt::Key_Space, false, 550); // the faulting step
        QTRY_VERIFY_WITH_TIMEOUT(player.Done(), 5000);
        QVERIFY(stayed);
    }

    void keyStillHeldAfterTheBoxDoesNotRestartTheRun() {
        const QString path = dir_.filePath(QStringLiteral("fault.ram"));
        auto driver = std::make_unique<ModalDriver>(path); // closes the box at once
        FrmMain frm;
        frm.show();
        QVERIFY(QTest::qWaitForWindowActive(&frm));
        auto* run = frm.findChild<QPushButton*>(QStringLiteral("cmdRun"));
        run->setFocus();
        Send(run, QEvent::KeyPress, Qt::Key_Space, false, 100);
        QTRY_COMPARE_WITH_TIMEOUT(driver->messages.size(), 1, 5000);
        // A repeat flagged real reaches Run again: it must not run.
        Send(run, QEvent::KeyRelease, Qt::Key_Space, false, 1000);
        Send(run, QEvent::KeyPress, Qt::Key_Space, false, 1000);
        QTest::qWait(100);
        QVERIFY(!frm.RunIT());
        QCOMPARE(driver->messages.size(), 1);
        // A fresh press does.
        Send(run, QEvent::KeyRelease, Qt::Key_Space, false, 2000);
        Send(run, QEvent::KeyPress, Qt::Key_Space, false, 2500);
        QVERIFY(frm.RunIT() || driver->messages.size() == 2);
    }
};

QTEST_MAIN(FaultBoxTest)
#include "fault_box_test.moc"
