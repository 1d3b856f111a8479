// A single-line text box with the windows' key events: keyDown (key code and shift state,
// KeyCodes.h) for every key, then keyPress (the character, by reference) for a key that types one.
// A keyPress handler may change the character or set it to 0 to type nothing. The change event is
// QLineEdit::textChanged, raised on every change of the text, typed or set by code.
#pragma once

#include <QLineEdit>

class TextBox : public QLineEdit {
  Q_OBJECT

 public:
  explicit TextBox(QWidget* parent = nullptr);

  // When set, Tab and Shift+Tab reach the key events instead of moving the focus, and type
  // nothing.
  void setTakesTab(bool takes) { takes_tab_ = takes; }

 signals:
  void keyDown(int keyCode, int shift);
  void keyPress(int* keyAscii);

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool takes_tab_ = false;
};
