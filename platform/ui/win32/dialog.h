#pragma once

#include <string>

#include "platform/ui/gdi.h"
#include "platform/ui/wnd.h"

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
    // A value did not validate (the dialog has said why and focused the control): the
    // exchange stops being applied, and OK leaves the dialog open.
    void Fail(int id);
    bool m_bFailed = false;
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

namespace deckwright {

// A dialog that paints itself: Paint draws on the dialog's surface, for WM_PAINT and for
// WM_PRINTCLIENT (what tests read back).
class CPaintedDialog : public CDialog {
  public:
    explicit CPaintedDialog(UINT templateId, CWnd* parent = nullptr);
    virtual void Paint(CDC& dc) = 0;
};

}  // namespace deckwright
