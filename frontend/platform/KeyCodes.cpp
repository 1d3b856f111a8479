#include "KeyCodes.h"

#include <QKeyEvent>

int keyCodeOf(const QKeyEvent* event) {
  const int key = event->key();
  const bool keypad = event->modifiers() & Qt::KeypadModifier;
  if (keypad && key >= Qt::Key_0 && key <= Qt::Key_9) return 96 + (key - Qt::Key_0);
  if (keypad) {
    switch (key) {
      case Qt::Key_Asterisk:
        return 106;
      case Qt::Key_Plus:
        return 107;
      case Qt::Key_Minus:
        return 109;
      case Qt::Key_Period:
        return 110;
      case Qt::Key_Slash:
        return 111;
      default:
        break;
    }
  }
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return '0' + (key - Qt::Key_0);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return KeyCode::kF1 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Backspace:
      return KeyCode::kBack;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return KeyCode::kTab;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return KeyCode::kReturn;
    case Qt::Key_Shift:
      return KeyCode::kShift;
    case Qt::Key_Control:
      return KeyCode::kControl;
    case Qt::Key_Alt:
      return KeyCode::kMenu;
    case Qt::Key_Escape:
      return KeyCode::kEscape;
    case Qt::Key_Space:
      return KeyCode::kSpace;
    case Qt::Key_PageUp:
      return KeyCode::kPageUp;
    case Qt::Key_PageDown:
      return KeyCode::kPageDown;
    case Qt::Key_End:
      return KeyCode::kEnd;
    case Qt::Key_Home:
      return KeyCode::kHome;
    case Qt::Key_Left:
      return KeyCode::kLeft;
    case Qt::Key_Up:
      return KeyCode::kUp;
    case Qt::Key_Right:
      return KeyCode::kRight;
    case Qt::Key_Down:
      return KeyCode::kDown;
    case Qt::Key_Insert:
      return KeyCode::kInsert;
    case Qt::Key_Delete:
      return KeyCode::kDelete;
    // The punctuation keys of the main keyboard (US layout positions).
    case Qt::Key_Semicolon:
    case Qt::Key_Colon:
      return 186;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      return 187;
    case Qt::Key_Comma:
    case Qt::Key_Less:
      return 188;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
      return 189;
    case Qt::Key_Period:
    case Qt::Key_Greater:
      return 190;
    case Qt::Key_Slash:
    case Qt::Key_Question:
      return 191;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
    case Qt::Key_At:
      return 192;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft:
      return 219;
    case Qt::Key_Backslash:
    case Qt::Key_Bar:
    case Qt::Key_yen:
      return 220;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight:
      return 221;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl:
    case Qt::Key_AsciiCircum:
      return 222;
    // Keys of the Japanese input method.
    case Qt::Key_Zenkaku_Hankaku:
    case Qt::Key_Henkan:
    case Qt::Key_Muhenkan:
    case Qt::Key_Hiragana_Katakana:
    case Qt::Key_Kanji:
      return KeyCode::kProcessKey;
    default:
      break;
  }
  // Shifted digits (US layout) carry the digit key's code.
  switch (key) {
    case Qt::Key_Exclam:
      return '1';
    case Qt::Key_NumberSign:
      return '3';
    case Qt::Key_Dollar:
      return '4';
    case Qt::Key_Percent:
      return '5';
    case Qt::Key_Ampersand:
      return '7';
    case Qt::Key_Asterisk:
      return '8';
    case Qt::Key_ParenLeft:
      return '9';
    case Qt::Key_ParenRight:
      return '0';
    default:
      break;
  }
  // Any other printable key lies in the punctuation range.
  if (key > 32 && key < 127) return 186;
  return 0;
}

int shiftStateOf(const QKeyEvent* event) {
  int state = 0;
  if (event->modifiers() & Qt::ShiftModifier) state |= ShiftState::kShift;
  if (event->modifiers() & Qt::ControlModifier) state |= ShiftState::kCtrl;
  if (event->modifiers() & Qt::AltModifier) state |= ShiftState::kAlt;
  return state;
}
