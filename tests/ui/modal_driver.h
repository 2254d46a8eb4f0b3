#pragma once

#include <QObject>

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

class QFileDialog;
class QMessageBox;

/// What the start-up dialog showed when the driver answered it.
struct DialogSeen {
    bool shown = false;
    QString title;
    QString directory;
    QStringList filterTexts; // as the "Files of type" box lists them
    QString selectedFilterText;
    bool fileMustExist = true;
    bool hasCheckBox = false;
};

/// Answers the next modal file dialog: types answer into its file name box
/// and presses Return, or clicks Cancel when answer is empty. Message boxes
/// that open meanwhile are recorded and closed, unless closeBoxes is false.
/// Calls act once, on the first message box that becomes visible, from
/// inside the box's own event loop; act decides whether the box closes.
class OnFirstBox : public QObject {
    Q_OBJECT

public:
    explicit OnFirstBox(std::function<void(QMessageBox*)> act);
    bool Done() const { return done_; }

private:
    std::function<void(QMessageBox*)> act_;
    QTimer timer_;
    bool done_ = false;
};

class ModalDriver : public QObject {
    Q_OBJECT

public:
    explicit ModalDriver(QString answer = {}, bool closeBoxes = true);
    ~ModalDriver() override;

    DialogSeen dialog;
    QStringList messages;

private:
    void Poll();
    void Answer(QFileDialog* fileDialog);

    QString answer_;
    bool closeBoxes_;
    QTimer timer_;
    QPointer<QFileDialog> answered_;
};
