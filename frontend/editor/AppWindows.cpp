#include "AppWindows.h"

#include "Form1.h"
#include "Form2.h"

AppWindows::~AppWindows() {
  delete form1;
  delete form2;
}

Form2* AppWindows::loadForm2() {
  if (!form2) {
    form2 = new Form2(*this);
    form2->Form_Load();
  }
  return form2;
}

void AppWindows::showForm2() { loadForm2()->show(); }
