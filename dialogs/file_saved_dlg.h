#pragma once

#include <string>

#include "dialogs/painted_lines.h"
#include "platform/ui/win32/dialog.h"

namespace deckwright {

// The File Saved dialog (template IDD_FILE_SAVED), shown when a save run ends: the save folder
// and "View saved files", which is read back on OK only; closed any other way it stays set.
class CFileSavedDlg : public CPaintedDialog {
  public:
    explicit CFileSavedDlg(CWnd* parent = nullptr);

    void SetFolder(const std::string& folder) { m_strFolder = folder; }
    void Paint(CDC& dc) override;
    // The three lines and where they go at the dialog's DPI.
    std::vector<PaintedLine> Lines() const;

    int m_bViewSavedFiles = 1;
    std::string m_strFolder;

  protected:
    void DoDataExchange(CDataExchange* dx) override;
    bool OnInitDialog() override;
};

}  // namespace deckwright
