// Key codes and shift states of the windows' KeyDown events, in the numbering the event
// procedures test (F2 is 113, Delete 46, Enter 13, the punctuation keys of the main keyboard and
// the input-method key lie above 127).
#pragma once

class QKeyEvent;

namespace KeyCode {
constexpr int kBack = 8;
constexpr int kTab = 9;
constexpr int kReturn = 13;
constexpr int kShift = 16;
constexpr int kControl = 17;
constexpr int kMenu = 18;
constexpr int kEscape = 27;
constexpr int kSpace = 32;
constexpr int kPageUp = 33;
constexpr int kPageDown = 34;
constexpr int kEnd = 35;
constexpr int kHome = 36;
constexpr int kLeft = 37;
constexpr int kUp = 38;
constexpr int kRight = 39;
constexpr int kDown = 40;
constexpr int kInsert = 45;
constexpr int kDelete = 46;
constexpr int kF1 = 112;
constexpr int kF2 = 113;
constexpr int kProcessKey = 229;  // the input-method key
}  // namespace KeyCode

// Shift state bits: 1 Shift, 2 Ctrl, 4 Alt.
namespace ShiftState {
constexpr int kShift = 1;
constexpr int kCtrl = 2;
constexpr int kAlt = 4;
}  // namespace ShiftState

// The key code of a Qt key event (0 when it has none).
int keyCodeOf(const QKeyEvent* event);

// The shift state of a Qt key event.
int shiftStateOf(const QKeyEvent* event);
