#pragma once

#include <windows.h>

#include <string>

#include "platform/ui/win32/wnd.h"

namespace deckwright {

class CDialog;

// Moves data between a dialog's controls and its public members: into the controls when the
// dialog starts, out of them on OK only (Cancel leaves the members as they were).
class CDataExchange {
  public:
    CDataExchange(CDialog& dialog, bool saveAndValidate)
        : m_pDlgWnd(&dialog), m_bSaveAndValidate(saveAndValidate) {}
    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;
};

void DDX_Text(CDataExchange* dx, int id, std::string& value);
void DDX_Check(CDataExchange* dx, int id, int& value);

// A modal dialog from a template of the program's resources.
class CDialog : public CWnd {
  public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);

    // Shows the dialog and returns when it is closed: IDOK, IDCANCEL, or -1 if it could not
    // be shown. Without a parent the application's main window owns it.
    virtual INT_PTR DoModal();
    void EndDialog(INT_PTR result);
    // Runs the data exchange; false when a value did not validate.
    bool UpdateData(bool saveAndValidate);

  protected:
    virtual bool OnInitDialog();  // true: the system sets the focus
    virtual void DoDataExchange(CDataExchange*) {}
    virtual void OnOK();
    virtual void OnCancel();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp);
};

}  // namespace deckwright
