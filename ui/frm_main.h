#pragma once

#include <QMainWindow>

#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class CommonDialog;
class HeldKeyGuard;

namespace wren {
class Wren;
}

/// The simulator's one window: status frame, instruction listing, the Step,
/// Run (hold to run), Reset, Peek and Poke buttons, the menus and Timer1.
/// Constructing it runs the start-up sequence, including the file dialog.
class FrmMain : public QMainWindow {
    Q_OBJECT

public:
    explicit FrmMain(QWidget* parent = nullptr);
    ~FrmMain() override;

    /// The processor, created on first use.
    wren::Wren& Processor();
    /// Whether Run is held.
    bool RunIT() const { return RunIT_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();

    void Form_Load();
    void Form_Click();
    void CmdStep_Click();
    void mnuStep_Click();
    void cmdReset_Click();
    void cmdRun_KeyDown();
    void cmdRun_MouseDown();
    void cmdRun_KeyUp();
    void cmdRun_MouseUp();
    void Timer1_Timer();
    void mnuExit_Click();

    void StartRun();
    void StopRun();
    /// Executes one instruction and refreshes; a machine fault stops the run
    /// and is reported after the display shows the state it left.
    void StepAndRefresh();
    bool RunButtonEvent(QEvent* event);
    bool FormMouseEvent(QEvent* event);

    void UpdateDisplay();
    void OpenRamFile();

    std::unique_ptr<wren::Wren> Cpu;
    bool RunIT_ = false;
    bool formPressed_ = false;

    QGroupBox* frmStatus = nullptr;
    QLabel* lblPC = nullptr;
    QLabel* lblAccum = nullptr;
    QLabel* LblV = nullptr;
    QLabel* lblCycles = nullptr;
    QPlainTextEdit* txtCode = nullptr;
    QPushButton* CmdStep = nullptr;
    QPushButton* cmdRun = nullptr;
    QPushButton* cmdReset = nullptr;
    QPushButton* cmdPeek = nullptr;
    QPushButton* cmdPoke = nullptr;
    QTimer* Timer1 = nullptr;
    HeldKeyGuard* heldKeyGuard_ = nullptr;
    std::unique_ptr<CommonDialog> CommonDialog1;
};
