#include "TextBox.h"

#include <QApplication>
#include <QKeyEvent>

#include "KeyCodes.h"

TextBox::TextBox(QWidget* parent) : QLineEdit(parent) {}

bool TextBox::event(QEvent* event) {
  if (takes_tab_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
      keyPressEvent(key);
      return true;
    }
  }
  return QLineEdit::event(event);
}

void TextBox::keyPressEvent(QKeyEvent* event) {
  const int code = keyCodeOf(event);
  QWidget* const focus = QApplication::focusWidget();
  emit keyDown(code, shiftStateOf(event));
  // A handler that ended the edit (hid the box or moved the focus) has taken the key.
  if (!isVisible() || QApplication::focusWidget() != focus) {
    event->accept();
    return;
  }
  if (code == KeyCode::kTab) {
    event->accept();
    return;
  }
  const QString typed = event->text();
  const bool types = !typed.isEmpty() && typed[0] != QChar(127) &&
                     !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
  if (!types) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  const char32_t original = typed.toUcs4().value(0);
  int ascii = static_cast<int>(original);
  emit keyPress(&ascii);
  if (ascii == 0) {
    event->accept();
    return;
  }
  if (ascii == static_cast<int>(original)) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  const char32_t replaced = static_cast<char32_t>(ascii);
  insert(QString::fromUcs4(&replaced, 1));
  event->accept();
}
