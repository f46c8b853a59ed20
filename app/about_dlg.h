// CAboutDlg: the about box, dialog template 100 (the program's name and version, its icon and an
// OK button). It has no data and no handlers of its own: OK and Cancel end it through the base.
#pragma once

#include "platform/dialog.h"

class CAboutDlg : public platform::CDialog {
  public:
    CAboutDlg();
};
