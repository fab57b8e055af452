#pragma once

#include <string>

#include "dialogs/painted_lines.h"
#include "platform/ui/win32/dialog.h"

namespace deckwright {

// The Settings dialog (template IDD_SETTINGS): the suffix and the save folder, a Browse button
// for the folder, and a painted gradient with two caption lines.
class CSettingsDlg : public CPaintedDialog {
  public:
    explicit CSettingsDlg(CWnd* parent = nullptr);

    void SetSuffix(const std::string& suffix) { m_strSuffix = suffix; }
    // The folder box shows the text before the folder's last backslash ("" when it has none).
    void SetSaveFolder(const std::string& folder);
    std::string GetSuffix() const { return m_strSuffix; }
    // The folder box's text with one backslash appended, always.
    std::string GetSaveFolder() const { return m_strFolder + "\\"; }

    void Paint(CDC& dc) override;
    // The two captions and where they go at the dialog's DPI.
    std::vector<PaintedLine> Lines() const;

    std::string m_strFolder;
    std::string m_strSuffix;

  protected:
    void DoDataExchange(CDataExchange* dx) override;

  private:
    void OnBrowse();
};

// Whether a suffix keeps saved files inside the save folder: no path separator, not "..".
bool IsSafeSuffix(const std::string& suffix);

}  // namespace deckwright
