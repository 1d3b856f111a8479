// The start window: sets the window title, clears the work files of an earlier run, and offers
// Start (button or picture), Manual and Exit.
#pragma once

#include "FormWindow.h"

class AppWindows;
class ImageBox;
class QPushButton;

class Form1 : public FormWindow {
  Q_OBJECT

 public:
  explicit Form1(AppWindows& windows, QWidget* parent = nullptr);

  ImageBox* Image1;       // start-up picture: Start
  QPushButton* Command3;  // "開　始": Start
  QPushButton* Command1;  // "マニュアル": Manual
  QPushButton* Command2;  // "終　了": Exit

  void Form_Load();
  void Command3_Click();
  void Image1_Click();
  void Command1_Click();
  void Command2_Click();

 private:
  AppWindows& windows_;
};
