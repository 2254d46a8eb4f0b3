// No text is cut short, at whatever Qt scale factor the environment sets
// (CTest runs this at 1, 1.5 and 2): the window at its widest values, the
// start-up dialog's columns, a message box.
#include "common_dialog.h"
#include "frm_main.h"
#include "modal_driver.h"
#include "wren_test_peer.h"

#include <QApplication>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <climits>
#include <memory>

class ScaleTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    static int TextWidth(const QWidget* widget, const QString& text) {
        return QFontMetrics(widget->font()).horizontalAdvance(text);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QApplication::setQuitOnLastWindowClosed(false);
        qInfo("scale factor %s", qgetenv("QT_SCALE_FACTOR").constData());
    }

    void windowTextIsWhole() {
        auto driver = std::make_unique<ModalDriver>(); // Cancel: the empty machine
        FrmMain frm;
        frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frm));
        wren::WrenTestPeer::SetRegisters(frm.Processor(), INT32_MIN, INT32_MIN, true, INT32_MAX);
        QTest::mouseClick(frm.centralWidget(), Qt::LeftButton, {}, QPoint(100, 200));

        for (auto* label : frm.findChildren<QLabel*>())
            QVERIFY2(TextWidth(label, label->text()) <= label->contentsRect().width(),
                     qPrintable(label->text()));
        for (auto* button : frm.findChildren<QPushButton*>())
            QVERIFY2(button->sizeHint().width() <= button->width(), qPrintable(button->text()));
        // The widest caption Run takes, while held.
        auto* run = frm.findChild<QPushButton*>(QStringLiteral("cmdRun"));
        QVERIFY(TextWidth(run, QStringLiteral("Release to stop")) + 8 <= run->width());
        auto* frame = frm.findChild<QGroupBox*>(QStringLiteral("frmStatus"));
        QVERIFY(TextWidth(frame, frame->title()) < frame->width());
        QVERIFY(frm.menuBar()->sizeHint().width() <= frm.width());

        // Crisp at any scale: the icon comes in sizes up to 256 pixels.
        QVERIFY(frm.windowIcon().availableSizes().contains(QSize(256, 256)));
    }

    void dialogColumnsShowWholeValues() {
        QFile file(dir_.filePath(QStringLiteral("a-program-with-a-long-name.ram")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(123456, ' '));
        file.close();

        bool checked = false;
        QString cut; // the columns cut short
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            auto* view =
                dialog ? dialog->findChild<QTreeView*>(QStringLiteral("treeView")) : nullptr;
            if (checked || view == nullptr || view->model()->rowCount(view->rootIndex()) == 0)
                return;
            checked = true;
            QTest::qWait(100); // the columns follow the folder's contents
            for (int column = 0; column < view->header()->count(); ++column)
                if (view->header()->sectionSize(column) <
                    static_cast<QAbstractItemView*>(view)->sizeHintForColumn(column))
                    cut += QString::number(column) + u' ';
            dialog->reject();
        });
        poll.start(20);
        CommonDialog dialog;
        dialog.setInitDir(dir_.path());
        dialog.setFilter(QStringLiteral("RAM Files(*.ram)|*.ram|"));
        dialog.ShowOpen();
        QVERIFY(checked);
        QVERIFY2(cut.isEmpty(), qPrintable(QStringLiteral("columns cut short: ") + cut));
    }

    void messageBoxTextIsWhole() {
        const QString path = dir_.filePath(QStringLiteral("bad.ram"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("LDAi 1\nLDAi 99999999999\n");
        file.close();

        int needed = 0, got = 0;
        const OnFirstBox measure([&](QMessageBox* box) {
            if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
                // The box wraps its text: every line must fit the height it got.
                needed = label->wordWrap() ? label->heightForWidth(label->width())
                                           : label->sizeHint().height();
                got = label->height();
            }
            box->accept();
        });
        ModalDriver driver(path, /*closeBoxes=*/false);
        FrmMain frm;
        QVERIFY(measure.Done());
        QVERIFY(got > 0);
        QVERIFY2(needed <= got, qPrintable(QStringLiteral("%1 > %2").arg(needed).arg(got)));
    }
};

QTEST_MAIN(ScaleTest)
#include "scale_test.moc"
