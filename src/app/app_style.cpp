#include "app/app_style.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

QString AppStyleSheet() {
    return QStringLiteral(R"(
* { font-family: "DejaVu Sans", "Noto Sans", sans-serif; font-size: 11px; }
TMainForm, QWidget#MainForm { background: #121519; }
QWidget#ToolBar { background: #0d0f12; border-bottom: 1px solid #252a31; }
QWidget#SetPanel { background: #181c21; border: 1px solid #272d35; border-radius: 6px; }
QLabel { color: #aab3bd; background: transparent; }
QLabel#GroupCaption { color: #6f7b88; font-size: 10px; font-weight: bold; letter-spacing: 1px; }
QLabel#SetUnit { font-size: 20px; font-weight: bold; }
QLabel#LargeUnit { font-size: 30px; font-weight: bold; padding-bottom: 6px; }
QLabel#SmallUnit { font-size: 13px; font-weight: bold; padding-bottom: 2px; }
QLabel#LampCaption { color: #c5ccd4; font-weight: bold; }
QLabel#ProtectLabel { color: #59636e; font-weight: bold; }
QLabel#ProtectLabel[lit="true"] { color: #ff5a4e; }
QLabel#InfoPanel { color: #d7dde4; background: #0b0d10; border: 1px solid #2b3139;
    border-radius: 4px; padding: 0 6px; font-family: "DejaVu Sans Mono", monospace; }
QLabel#StatusPanel { color: #9fdcae; background: transparent; border: 1px solid #4f9a63;
    border-radius: 4px; font-weight: bold; }
QLabel#KeysLocked { color: #ffb347; background: rgba(40, 30, 10, 170); border: 1px solid #7a5a20;
    border-radius: 4px; font-weight: bold; }
QLabel#ChargeLabel { color: #8fd18a; }
QLabel#DemoBadge { color: #101317; background: #40c0ff; border-radius: 4px; font-weight: bold;
    font-size: 10px; letter-spacing: 1px; }
QLabel#FieldLabel { color: #8d98a5; }
QLabel[editBox="true"] { color: #e6ebf0; background: #0b0d10; border: 1px solid #2f3640;
    border-radius: 3px; padding: 0 6px; font-family: "DejaVu Sans Mono", monospace; font-size: 12px; }
QLabel[editBox="true"]:hover { border-color: #4f8fb8; }
QLabel[editBox="true"]:disabled { color: #5d6773; background: #121518; border-color: #262b32; }
QPushButton, QToolButton { color: #d2d9e0; background: qlineargradient(x1:0, y1:0, x2:0, y2:1,
    stop:0 #353c46, stop:1 #2a3038); border: 1px solid #3d4550; border-radius: 4px; padding: 3px 8px; }
QPushButton:hover, QToolButton:hover { border-color: #4f8fb8; }
QPushButton:pressed, QToolButton:pressed { background: #1f242b; }
QPushButton:disabled, QToolButton:disabled { color: #59626d; background: #1e2228; border-color: #2a2f36; }
QToolButton#PresetButton { padding: 0; font-weight: bold; font-size: 10px; }
QToolButton#PresetButton[charge="true"] { color: #9fd89a; }
QToolButton#PresetButton:checked { color: #0d0f12; background: #40c0ff; border-color: #7fd6ff; }
QToolButton#PresetButton[charge="true"]:checked { background: #6fcf6a; border-color: #a5e8a1; }
QPushButton#OnOffBtn { font-size: 14px; font-weight: bold; letter-spacing: 2px; color: #9aa4ae;
    border-radius: 8px; border: 2px solid #3d4550; }
QPushButton#OnOffBtn[on="true"] { color: #0d1a10; background: qlineargradient(x1:0, y1:0, x2:0, y2:1,
    stop:0 #5ff07a, stop:1 #2fb04a); border-color: #9dffb0; }
QPushButton#OnOffBtn:disabled { color: #4a525c; }
QPushButton#SetLockBtn { font-weight: bold; }
QPushButton#OscToggleSwitch { font-weight: bold; color: #ffb347; }
QPushButton#OscToggleSwitch[run="true"] { color: #6fcf6a; }
QWidget#SideBar { background: transparent; }
QToolButton#CategoryHeader { text-align: left; font-weight: bold; color: #c9d1d9; background: #1d2229;
    border: 1px solid #2b323b; border-radius: 4px; padding-left: 6px; }
QToolButton#CategoryHeader[open="true"] { color: #40c0ff; background: #20262e; }
QToolButton#CategoryHeader:disabled { color: #4f5863; }
QWidget#ConnectionPanel, QWidget#PresetPanel, QWidget#ParamPanel, QWidget#OscPanel { background: #181c21;
    border: 1px solid #272d35; border-top: none; }
QComboBox, QLineEdit { color: #dce2e8; background: #0e1114; border: 1px solid #2f3640;
    border-radius: 3px; padding: 2px 6px; min-height: 18px; }
QComboBox:disabled, QLineEdit:disabled { color: #56606b; background: #15181c; }
QComboBox QAbstractItemView { color: #dce2e8; background: #14171b; selection-background-color: #2c6f96; }
QCheckBox, QRadioButton { color: #b7c0ca; spacing: 6px; }
QCheckBox::indicator, QRadioButton::indicator { width: 14px; height: 14px; }
QCheckBox:disabled, QRadioButton:disabled { color: #525b66; }
QProgressBar { background: #0b0d10; border: 1px solid #2b3139; border-radius: 3px; }
QProgressBar::chunk { background: #6fcf6a; border-radius: 2px; }
QSlider::groove:horizontal { height: 4px; background: #2b3139; border-radius: 2px; }
QSlider::handle:horizontal { width: 12px; margin: -5px 0; background: #40c0ff; border-radius: 6px; }
QSlider::handle:horizontal:disabled { background: #3a424c; }
QToolTip { color: #e6ebf0; background: #1d2229; border: 1px solid #3d4550; }
QMessageBox { background: #1a1e23; }
QMessageBox QLabel { color: #e0e6ec; font-size: 12px; }
)");
}

void ApplyAppStyle(QApplication& AApp) {
    // Fusion draws the same everywhere, so the style sheet gives the same look on every desktop.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) AApp.setStyle(fusion);
    QPalette pal = AApp.palette();
    pal.setColor(QPalette::Window, QColor(0x12, 0x15, 0x19));
    pal.setColor(QPalette::WindowText, QColor(0xC9, 0xD1, 0xD9));
    pal.setColor(QPalette::Base, QColor(0x0E, 0x11, 0x14));
    pal.setColor(QPalette::Text, QColor(0xDC, 0xE2, 0xE8));
    pal.setColor(QPalette::Button, QColor(0x2A, 0x30, 0x38));
    pal.setColor(QPalette::ButtonText, QColor(0xD2, 0xD9, 0xE0));
    pal.setColor(QPalette::Highlight, QColor(0x2C, 0x6F, 0x96));
    AApp.setPalette(pal);
    AApp.setStyleSheet(AppStyleSheet());
}
