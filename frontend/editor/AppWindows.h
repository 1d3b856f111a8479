// Where the windows find each other and the platform: one object for the program, handed to every
// window. The start window (Form1) is unloaded when the editor (Form2) takes over; the editor is
// loaded once and only hidden and shown afterwards; the results window (Form3) is loaded afresh on
// every showing.
#pragma once

#include <functional>

class Form1;
class Form2;
class Form3;
class Platform;

class AppWindows {
 public:
  explicit AppWindows(Platform& shared_platform) : platform(shared_platform) {}
  ~AppWindows();
  AppWindows(const AppWindows&) = delete;
  AppWindows& operator=(const AppWindows&) = delete;

  Platform& platform;
  Form1* form1 = nullptr;  // null once unloaded
  Form2* form2 = nullptr;  // null until first loaded
  Form3* form3 = nullptr;  // null while not loaded

  // Loads Form2 on first use (its Form_Load runs then) and returns it.
  Form2* loadForm2();
  // Loads Form2 when needed and shows it modeless.
  void showForm2();
  // Loads Form3 afresh when it is not loaded and shows it modeless. The program's main sets it, so
  // that the editor does not depend on how the results window is built.
  std::function<void()> showForm3;
};
