#include "frm_main.h"

#include "common_dialog.h"
#include "held_key_guard.h"
#include "listing_text.h"
#include "status_text.h"
#include "window_icon.h"
#include "wren.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace {

const QString kCaption = QStringLiteral("Wren processor simulator");

// Positions are laid out in twips; at 96 dots per inch 15 twips make a pixel,
// and Qt's high-DPI scaling takes it from there.
constexpr int Px(int twips) { return twips / 15; }
QRect Twips(int left, int top, int width, int height) {
    return QRect(Px(left), Px(top), Px(width), Px(height));
}

QFont CaptionFont() {
    // The classic caption face is rarely installed; map it onto a sans-serif
    // that is, so the choice does not depend on fontconfig's guess.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                                QStringLiteral("Sans Serif")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(9.75);
    font.setWeight(QFont::Bold);
    return font;
}

// A status value at the normal UI size; only a value too wide for its label
// at that size, such as "Cycles: 2147483647", is drawn smaller, just enough to
// fit. Every font property is marked as set so that the labels do not inherit
// the frame's bold caption font.
void SetStatusText(QLabel* label, const QString& text) {
    constexpr qreal kSmallestPt = 6.0;
    const int room = label->contentsRect().width();
    QFont font = QApplication::font();
    font.setResolveMask(QFont::AllPropertiesResolved);
    // Most values fit at the normal size: measure with the label's own,
    // already resolved font, as the refresh runs on every tick.
    if (label->font() == font && label->fontMetrics().horizontalAdvance(text) <= room) {
        label->setText(text);
        return;
    }
    while (QFontMetrics(font).horizontalAdvance(text) > room && font.pointSizeF() > kSmallestPt)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    if (label->font() != font)
        label->setFont(font);
    label->setText(text);
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int top) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    // No accessible name of its own: screen readers then read the caption,
    // "Release to stop" included, as it changes.
    button->setGeometry(Twips(3360, top, 1695, 375));
    button->setAutoDefault(false);
    return button;
}

QLabel* MakeLabel(QGroupBox* frame, const char* name, const QString& text, int top,
                  const QString& description) {
    auto* label = new QLabel(text, frame);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(Twips(120, top, 1455, 255));
    // The accessible name stays the label's text, which carries the value.
    label->setAccessibleDescription(description);
    return label;
}

bool MovesFocus(const QKeyEvent& key) {
    return key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab;
}

} // namespace

FrmMain::FrmMain(QWidget* parent)
    : QMainWindow(parent), CommonDialog1(std::make_unique<CommonDialog>(this)) {
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(kCaption);
    setWindowIcon(WindowIcon());
    BuildControls();
    BuildMenus();

    heldKeyGuard_ = new HeldKeyGuard(this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(20);
    connect(Timer1, &QTimer::timeout, this, &FrmMain::Timer1_Timer);
    Timer1->start();

    Form_Load();
}

FrmMain::~FrmMain() = default;

void FrmMain::BuildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(Px(5190), Px(4620));
    client->installEventFilter(this);
    setCentralWidget(client);
    // The window keeps the size of its contents: no resizing, no maximising.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);

    frmStatus = new QGroupBox(QStringLiteral("STATUS"), client);
    frmStatus->setObjectName(QStringLiteral("frmStatus"));
    frmStatus->setAccessibleName(QStringLiteral("Status"));
    frmStatus->setGeometry(Twips(3360, 120, 1695, 1815));
    frmStatus->setFont(CaptionFont());

    lblPC = MakeLabel(frmStatus, "lblPC", QStringLiteral("lblPC"), 360, tr("Program counter"));
    lblAccum = MakeLabel(frmStatus, "lblAccum", QStringLiteral("lblAccum"), 720, tr("Accumulator"));
    LblV = MakeLabel(frmStatus, "LblV", QStringLiteral("lblV"), 1080, tr("Overflow flag"));
    lblCycles = MakeLabel(frmStatus, "lblCycles", QStringLiteral("lblCycles"), 1440, tr("Cycles"));
    for (QLabel* label : {lblPC, lblAccum, LblV, lblCycles})
        SetStatusText(label, label->text());

    txtCode = new QPlainTextEdit(QStringLiteral("Text1"), client);
    txtCode->setObjectName(QStringLiteral("txtCode"));
    txtCode->setAccessibleName(QStringLiteral("Instruction listing"));
    txtCode->setGeometry(Twips(120, 240, 2415, 1695));
    txtCode->setReadOnly(true);
    txtCode->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtCode->setTabChangesFocus(true);
    txtCode->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtCode->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtCode->setToolTip(QStringLiteral("Display of instructions being executed"));

    CmdStep = MakeButton(client, "CmdStep", QStringLiteral("Step"), 2160);
    cmdRun = MakeButton(client, "cmdRun", QStringLiteral("Run"), 2640);
    cmdRun->setAccessibleDescription(tr("Hold down to run; release to stop"));
    cmdReset = MakeButton(client, "cmdReset", QStringLiteral("Reset"), 3120);
    cmdPeek = MakeButton(client, "cmdPeek", QStringLiteral("Peek"), 3600);
    cmdPoke = MakeButton(client, "cmdPoke", QStringLiteral("Poke"), 4080);
    cmdPeek->setEnabled(false);
    cmdPoke->setEnabled(false);

    connect(CmdStep, &QPushButton::clicked, this, &FrmMain::CmdStep_Click);
    connect(cmdReset, &QPushButton::clicked, this, &FrmMain::cmdReset_Click);
    cmdRun->installEventFilter(this);

    setTabOrder(txtCode, CmdStep);
    setTabOrder(CmdStep, cmdRun);
    setTabOrder(cmdRun, cmdReset);
    setTabOrder(cmdReset, cmdPeek);
    setTabOrder(cmdPeek, cmdPoke);
    txtCode->setFocus();
}

void FrmMain::BuildMenus() {
    auto addMenu = [this](const char* name, const QString& caption) {
        QMenu* menu = menuBar()->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setObjectName(QString::fromLatin1(name));
        return menu;
    };
    auto addItem = [](QMenu* menu, const char* name, const QString& caption) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };

    QMenu* mnuFile = addMenu("mnuFile", tr("&File"));
    addItem(mnuFile, "mnuOpen", tr("&Open ROM..."));
    addItem(mnuFile, "mnuClose", tr("&Close ROM"));
    connect(addItem(mnuFile, "mnuExit", tr("E&xit")), &QAction::triggered, this,
            &FrmMain::mnuExit_Click);

    QMenu* mnuRun = addMenu("mnuRun", tr("&Run"));
    connect(addItem(mnuRun, "mnuStep", tr("&Single Step")), &QAction::triggered, this,
            &FrmMain::mnuStep_Click);

    QMenu* mnuHelp = addMenu("mnuHelp", tr("&Help"));
    addItem(mnuHelp, "mnuContents", tr("&Contents..."));
    addItem(mnuHelp, "mnuAbout", tr("&About..."));
}

wren::Wren& FrmMain::Processor() {
    if (!Cpu)
        Cpu = std::make_unique<wren::Wren>();
    return *Cpu;
}

void FrmMain::Form_Load() {
    RunIT_ = false;
    OpenRamFile();
    UpdateDisplay();
}

void FrmMain::Form_Click() { UpdateDisplay(); }

void FrmMain::CmdStep_Click() { StepAndRefresh(); }

void FrmMain::mnuStep_Click() { StepAndRefresh(); }

void FrmMain::cmdReset_Click() {
    Processor().Reset();
    UpdateDisplay();
}

void FrmMain::StartRun() {
    cmdRun->setText(tr("Release to stop"));
    RunIT_ = true;
}

void FrmMain::StopRun() {
    cmdRun->setText(tr("Run"));
    RunIT_ = false;
}

// After a fault, the held-key guard keeps a key that is still down from
// getting here, so its auto-repeat cannot start the run again.
void FrmMain::cmdRun_KeyDown() { StartRun(); }

void FrmMain::cmdRun_MouseDown() { StartRun(); }

void FrmMain::cmdRun_KeyUp() { StopRun(); }

void FrmMain::cmdRun_MouseUp() { StopRun(); }

void FrmMain::Timer1_Timer() {
    if (RunIT_)
        StepAndRefresh();
}

void FrmMain::mnuExit_Click() { close(); }

void FrmMain::closeEvent(QCloseEvent* event) {
    Timer1->stop();
    RunIT_ = false;
    event->accept();
}

void FrmMain::StepAndRefresh() {
    try {
        Processor().Step();
    } catch (const wren::MachineError& fault) {
        StopRun();
        UpdateDisplay();
        // The key that held Run may still be down: it must neither answer the
        // box nor, once the box is gone, start the run again.
        heldKeyGuard_->Arm();
        QMessageBox::warning(
            this, kCaption,
            tr("The processor stopped on a fault:\n%1").arg(QString::fromStdString(fault.what())));
        return;
    }
    UpdateDisplay();
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == cmdRun)
        return RunButtonEvent(event);
    if (watched == centralWidget())
        return FormMouseEvent(event);
    return QMainWindow::eventFilter(watched, event);
}

// Every mouse button and every key (Tab and Shift+Tab still move the focus)
// holds Run down. The events go on to the button so that it looks pressed.
bool FrmMain::RunButtonEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: // a quick second press arrives as this
        cmdRun_MouseDown();
        break;
    case QEvent::MouseButtonRelease: cmdRun_MouseUp(); break;
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!MovesFocus(*key))
            cmdRun_KeyDown();
        break;
    }
    case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        // X11 reports a held key as release/press pairs flagged auto-repeat.
        if (!key->isAutoRepeat() && !MovesFocus(*key))
            cmdRun_KeyUp();
        break;
    }
    default: break;
    }
    return false;
}

// Mouse events that a label or the frame ignore travel on to the client
// area; only a click whose point lies on no control counts as a form click.
bool FrmMain::FormMouseEvent(QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton)
        return false;
    const QPoint at = mouse->position().toPoint();
    const bool onFreeArea =
        centralWidget()->rect().contains(at) && centralWidget()->childAt(at) == nullptr;
    if (event->type() == QEvent::MouseButtonPress) {
        formPressed_ = onFreeArea;
        return false;
    }
    const bool clicked = formPressed_ && onFreeArea;
    formPressed_ = false;
    if (clicked)
        Form_Click();
    return false;
}

void FrmMain::UpdateDisplay() {
    const wren::Wren& cpu = Processor();
    SetStatusText(lblAccum, QString::fromStdString(wren::AccumulatorText(cpu)));
    SetStatusText(lblPC, QString::fromStdString(wren::PCounterText(cpu)));
    SetStatusText(LblV, QString::fromStdString(wren::OverflowText(cpu)));
    SetStatusText(lblCycles, QString::fromStdString(wren::CyclesText(cpu)));
    // setPlainText reads CR LF as one break, but LF is the text box's own
    // line end and what its toPlainText gives back.
    txtCode->setPlainText(QString::fromStdString(wren::ListingText(cpu, "\n")));
}

void FrmMain::OpenRamFile() {
    CommonDialog1->setFlags(CommonDialog::kHideReadOnly);
    CommonDialog1->setDialogTitle(QStringLiteral("Open RAM file"));
    CommonDialog1->setInitDir(QCoreApplication::applicationDirPath());
    CommonDialog1->setFilter(QStringLiteral("All Files (*.*)|*.*|RAM Files") +
                             QStringLiteral("(*.ram)|*.ram|"));
    CommonDialog1->setFilterIndex(2);
    CommonDialog1->ShowOpen();
    const QString filename = CommonDialog1->FileName();

    const auto error = Processor().Load_Ram(filename.toStdString());
    // Cancel hands over an empty name: the window then opens on the empty machine.
    if (!error || filename.isEmpty())
        return;
    const QString where =
        error->line > 0 ? tr("%1, line %2").arg(QDir::toNativeSeparators(filename)).arg(error->line)
                        : QDir::toNativeSeparators(filename);
    QMessageBox::warning(this, kCaption,
                         tr("The program file did not load completely.\n\n%1:\n%2")
                             .arg(where, QString::fromStdString(error->message)));
}
