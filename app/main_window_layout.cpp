// TForm1's controls: their places, sizes, captions, fonts, states and tab order.
#include "app/main_window.h"

#include "app/narrow_arrow_style.h"
#include "app/reading_log_box.h"
#include "help/clickable_picture.h"
#include "help/pictures.h"
#include "lcd/lcd_matrix.h"
#include "lcd/main_window_display.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>

namespace velmora {

namespace {

// The window's typeface and the bold face of the function buttons.
const QString kWindowFamily = QStringLiteral("宋体");
const QString kButtonFamily = QStringLiteral("Batang");

QFont PixelFont(const QString& family, int pixels, bool bold = false) {
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// F1: navy bold 15 px; F2: bold window face 13 px; F3: 19 px; F4: bold 19 px.
QFont F1() {
    return PixelFont(kButtonFamily, 15, true);
}
QFont F2() {
    return PixelFont(kWindowFamily, 13, true);
}
QFont F3() {
    return PixelFont(kWindowFamily, 19);
}
QFont F4() {
    return PixelFont(kWindowFamily, 19, true);
}

const QColor kNavy(0, 0, 128);
// Width of the INTERVAL box's drop-down arrow.
constexpr int kIntervalArrowWidth = 9;
// The light blue of a gradient active caption, behind the "Connect" box.
const QColor kGradientActiveCaption(185, 209, 234);

template <typename Widget>
Widget* Place(Widget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, int left, int top,
                    int width, int height) {
    auto* button = Place(new QPushButton(caption, parent), name, left, top, width, height);
    button->setAutoDefault(false);
    return button;
}

QPushButton* FunctionButton(QWidget* parent, const char* name, const QString& caption, int left,
                            int top, bool boldWindowFace = false) {
    QPushButton* button = Button(parent, name, caption, left, top, 65, 33);
    if (boldWindowFace) {
        button->setFont(F2());
    } else {
        button->setFont(F1());
        // Navy while usable; a disabled button keeps the style's grey.
        QPalette palette = button->palette();
        palette.setColor(QPalette::Active, QPalette::ButtonText, kNavy);
        palette.setColor(QPalette::Inactive, QPalette::ButtonText, kNavy);
        button->setPalette(palette);
    }
    return button;
}

} // namespace

void TForm1::createControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Velmora Controller V0.2 By Tarquel"));
    setFont(PixelFont(kWindowFamily, 13));
    setFixedSize(621, 460);
    move(315, 232);

    createDisplays();

    Check_Connection =
        Place(new QCheckBox(QStringLiteral("Connect"), this), "Check_Connection", 24, 120, 97, 25);
    Check_Connection->setFont(F4());
    Check_Connection->setAutoFillBackground(true);
    Check_Connection->setBackgroundRole(QPalette::Window);
    QPalette checkPalette = Check_Connection->palette();
    checkPalette.setColor(QPalette::Window, kGradientActiveCaption);
    Check_Connection->setPalette(checkPalette);

    CONF = Button(this, "CONF", QStringLiteral("COM SET"), 128, 120, 75, 25);

    createFunctionButtons();

    Image1 = Place(new ClickablePicture(this), "Image1", 456, 32, 137, 57);
    Image1->setPixmap(VelmoraLogo());

    Button3_Send = Button(this, "Button3_Send", QStringLiteral("Send"), 472, 88, 65, 33);
    Button3_Send->setVisible(false);

    createLogControls();
    createStatusBar();
    setTabOrder();
}

void TForm1::createDisplays() {
    Panel2 = Place(new QFrame(this), "Panel2", 24, 0, 417, 113);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setLineWidth(1);
    // Both displays are anchored to the panel's top and right edges and
    // overhang it; the panel cuts them off. The lower one lies above the
    // upper one, so the unit line shows below the value line on one black area.
    iLCDMatrix1 = Place(new TiLCDMatrix(Panel2), "iLCDMatrix1", 0, 0, 425, 89);
    iLCDMatrix2 = Place(new TiLCDMatrix(Panel2), "iLCDMatrix2", 0, 48, 425, 89);
    ConfigureAsMainWindowDisplay(*iLCDMatrix1);
    ConfigureAsMainWindowDisplay(*iLCDMatrix2);
    iLCDMatrix2->raise();
}

void TForm1::createFunctionButtons() {
    PageControl1 = Place(new QTabWidget(this), "PageControl1", 16, 160, 305, 265);

    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Basic"));
    Panel1 = Place(new QFrame(TabSheet1), "Panel1", 0, 12, 305, 233);
    Panel1->setFrameStyle(QFrame::NoFrame);

    DCV_Btn = FunctionButton(Panel1, "DCV_Btn", QStringLiteral("DC V"), 24, 8);
    ACV_Btn = FunctionButton(Panel1, "ACV_Btn", QStringLiteral("AC V"), 120, 8);
    OHM2_Btn = FunctionButton(Panel1, "OHM2_Btn", QStringLiteral("Ω-2W"), 24, 64);
    OHM4_Btn = FunctionButton(Panel1, "OHM4_Btn", QStringLiteral("Ω-4W"), 120, 64);
    DCI_Btn = FunctionButton(Panel1, "DCI_Btn", QStringLiteral("DC-I"), 24, 120);
    ACI_Btn = FunctionButton(Panel1, "ACI_Btn", QStringLiteral("AC-I"), 120, 120);
    Cont_Btn = FunctionButton(Panel1, "Cont_Btn", QStringLiteral("Cont"), 216, 120, true);
    Freq_Btn = FunctionButton(Panel1, "Freq_Btn", QStringLiteral("Freq"), 24, 176);
    period_Btn = FunctionButton(Panel1, "period_Btn", QStringLiteral("Period"), 120, 176, true);
    Diod_Btn = FunctionButton(Panel1, "Diod_Btn", QStringLiteral("Diod"), 216, 176);

    // The advanced page's buttons exist but stay out of the user's reach.
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Advanced"));
    Button2 = Button(TabSheet2, "Button2", QStringLiteral("DC V High"), 30, 32, 75, 25);
    Button5 = Button(TabSheet2, "Button5", QStringLiteral("OHM High"), 160, 32, 75, 25);
    Button3 = Button(TabSheet2, "Button3", QStringLiteral("IMP"), 32, 80, 75, 25);
    for (QPushButton* hidden : {Button2, Button5, Button3}) {
        hidden->setVisible(false);
    }
    PageControl1->setCurrentIndex(0);
}

void TForm1::createLogControls() {
    Label4 = Place(new QLabel(QStringLiteral("INTERVAL"), this), "Label4", 472, 128, 80, 19);
    Label4->setFont(F3());

    COMBOX_INTERVAL = Place(new QComboBox(this), "COMBOX_INTERVAL", 560, 128, 41, 24);
    COMBOX_INTERVAL->setEditable(true);
    COMBOX_INTERVAL->setFont(PixelFont(kWindowFamily, 16));
    COMBOX_INTERVAL->addItems({QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"),
                               QStringLiteral("5"), QStringLiteral("10"), QStringLiteral("20"),
                               QStringLiteral("50"), QStringLiteral("100")});
    COMBOX_INTERVAL->setInsertPolicy(QComboBox::NoInsert);
    COMBOX_INTERVAL->setEditText(QStringLiteral("0"));
    // The designed 41 pixels leave too little beside the usual arrow for
    // "100"; a narrower arrow makes every listed value readable in full.
    auto* narrowArrow = new NarrowArrowStyle(kIntervalArrowWidth);
    narrowArrow->setParent(COMBOX_INTERVAL);
    COMBOX_INTERVAL->setStyle(narrowArrow);

    // Collects replies that failed to convert; never shown, never read.
    Memo1 = Place(new QPlainTextEdit(this), "Memo1", 336, 120, 113, 33);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setUndoRedoEnabled(false);
    Memo1->setMaximumBlockCount(1000); // garbage for days must not exhaust memory
    Memo1->setPlainText(QStringLiteral("Com1\n9600\n\n"));
    Memo1->setVisible(false);

    Memo2 = Place(new ReadingLogBox(this), "Memo2", 336, 160, 265, 233);
    Memo2->resetTo("No.,Function,Value,Time");

    ClearBtn = Button(this, "ClearBtn", QStringLiteral("Clear"), 336, 400, 75, 25);
    Button1 = Button(this, "Button1", QStringLiteral("Save"), 432, 400, 75, 25);
    Button4 = Button(this, "Button4", QStringLiteral("Exit"), 536, 400, 75, 25);

    SaveDialog1 = new QFileDialog(this);
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setNameFilter(QStringLiteral("CSV  (*.csv)"));
    SaveDialog1->setDefaultSuffix(QStringLiteral("csv"));
}

void TForm1::createStatusBar() {
    StatusBar1 = Place(new QStatusBar(this), "StatusBar1", 0, 435, 621, 25);
    StatusBar1->setSizeGripEnabled(false);
    statusPanel = new QLabel(StatusBar1);
    statusPanel->setObjectName(QStringLiteral("StatusPanel0"));
    statusPanel->setMinimumWidth(50);
    statusMessage = new QLabel(StatusBar1);
    statusMessage->setObjectName(QStringLiteral("StatusMessage"));
    statusLineCount = new QLabel(StatusBar1);
    statusLineCount->setObjectName(QStringLiteral("StatusLineCount"));
    // Names of ports and files and texts from the meter are shown as typed,
    // never taken for markup.
    for (QLabel* label : {statusPanel, statusMessage, statusLineCount}) {
        label->setTextFormat(Qt::PlainText);
    }
    // The port in use keeps its full width; a long note takes what is left
    // and is cut there (its tooltip holds all of it).
    statusPanel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    statusMessage->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusRecording = new QLabel(StatusBar1);
    statusRecording->setObjectName(QStringLiteral("StatusRecording"));
    statusRecording->setTextFormat(Qt::PlainText);
    QPalette recordingColours = statusRecording->palette();
    recordingColours.setColor(QPalette::WindowText, QColor(200, 0, 0));
    statusRecording->setPalette(recordingColours);
    // Shown only while an alarm is raised; its tooltip names every one.
    statusAlarm = new QLabel(StatusBar1);
    statusAlarm->setObjectName(QStringLiteral("StatusAlarm"));
    statusAlarm->setTextFormat(Qt::PlainText);
    statusAlarm->setMaximumWidth(300);
    // Shown only for a network meter: its profile and line (and who it said it is).
    statusInstrument = new QLabel(StatusBar1);
    statusInstrument->setObjectName(QStringLiteral("StatusInstrument"));
    statusInstrument->setTextFormat(Qt::PlainText);
    statusInstrument->setVisible(false);
    // Panel 0 keeps the resource whole; the instrument and the note share what is left,
    // each cut at its end (tooltip: all). Without a stretch of its own the instrument
    // would get no width at all beside the note's.
    statusInstrument->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusBar1->addWidget(statusPanel);
    StatusBar1->addWidget(statusInstrument, 1);
    StatusBar1->addWidget(statusAlarm);
    StatusBar1->addWidget(statusMessage, 1);
    StatusBar1->addPermanentWidget(statusRecording);
    StatusBar1->addPermanentWidget(statusLineCount);
}

void TForm1::setTabOrder() {
    // Memo2, Exit, Save, COM SET, Clear, the function pages, Connect, INTERVAL.
    const QWidget* order[] = {Memo2,    Button4,      Button1,          CONF,
                              ClearBtn, PageControl1, Check_Connection, COMBOX_INTERVAL};
    for (size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget::setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
    }
}

} // namespace velmora
