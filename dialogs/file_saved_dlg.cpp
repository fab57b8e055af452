#include "dialogs/file_saved_dlg.h"

#include "platform/utf.h"
#include "res/resource.h"
#include "skin/gradient.h"

namespace deckwright {

CFileSavedDlg::CFileSavedDlg(CWnd* parent) : CPaintedDialog(IDD_FILE_SAVED, parent) {}

void CFileSavedDlg::DoDataExchange(CDataExchange* dx) {
    DDX_Check(dx, IDC_VIEW_SAVED, m_bViewSavedFiles);
    DDX_Text(dx, IDC_SAVED_FOLDER, m_strFolder);
}

bool CFileSavedDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    ::SetDlgItemTextW(m_hWnd, IDC_SAVED_FOLDER, Widen(m_strFolder).c_str());
    return true;
}

std::vector<PaintedLine> CFileSavedDlg::Lines() const {
    return {{"Finished Saving Files..", PlaceIn(*this, RECT{10, 10, 300, 30}), RGB(240, 228, 216)},
            {"The Files have been saved in ", PlaceIn(*this, RECT{10, 35, 300, 55}),
             RGB(240, 216, 192)},
            {"View saved files", PlaceIn(*this, RECT{45, 95, 200, 120}), RGB(240, 186, 133)}};
}

void CFileSavedDlg::Paint(CDC& dc) {
    GradientBackground(dc, *this);
    PaintLines(dc, Scale(14), Lines());
}

}  // namespace deckwright
