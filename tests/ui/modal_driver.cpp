#include "modal_driver.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

ModalDriver::ModalDriver(QString answer, bool closeBoxes)
    : answer_(std::move(answer)), closeBoxes_(closeBoxes) {
    connect(&timer_, &QTimer::timeout, this, &ModalDriver::Poll);
    timer_.start(10);
}

ModalDriver::~ModalDriver() {
    // Only ever close what this driver was asked to handle.
    if (answered_ && answered_->isVisible())
        answered_->reject();
}

OnFirstBox::OnFirstBox(std::function<void(QMessageBox*)> act) : act_(std::move(act)) {
    connect(&timer_, &QTimer::timeout, this, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (done_ || box == nullptr || !box->isVisible())
            return;
        done_ = true;
        timer_.stop();
        act_(box);
    });
    timer_.start(10);
}

void ModalDriver::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal); box && box->isVisible()) {
        if (!closeBoxes_)
            return;
        messages << box->text();
        box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->accept();
        return;
    }
    auto* fileDialog = qobject_cast<QFileDialog*>(modal);
    if (fileDialog && fileDialog->isVisible() && fileDialog != answered_)
        Answer(fileDialog);
}

void ModalDriver::Answer(QFileDialog* fileDialog) {
    answered_ = fileDialog;
    dialog.shown = true;
    dialog.title = fileDialog->windowTitle();
    dialog.directory = fileDialog->directory().absolutePath();
    dialog.fileMustExist = fileDialog->fileMode() == QFileDialog::ExistingFile;
    dialog.hasCheckBox = fileDialog->findChild<QCheckBox*>() != nullptr;
    if (auto* types = fileDialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
        for (int i = 0; i < types->count(); ++i)
            dialog.filterTexts << types->itemText(i);
        dialog.selectedFilterText = types->currentText();
    }

    if (answer_.isEmpty()) {
        fileDialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))
            ->button(QDialogButtonBox::Cancel)
            ->click();
        return;
    }
    auto* name = fileDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    name->setText(answer_);
    QTest::keyClick(name, Qt::Key_Return);
}
