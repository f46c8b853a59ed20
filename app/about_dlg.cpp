#include "app/about_dlg.h"

#include "res/resources.h"

CAboutDlg::CAboutDlg() : CDialog(res::kAboutDialog) {}
