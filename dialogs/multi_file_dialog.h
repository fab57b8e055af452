#pragma once

#include <memory>

#include "platform/ui/win32/file_dialog.h"

namespace deckwright {

// The open dialog of Add File: any number of presentations at once. The platform's result
// buffer holds MAX_PATH characters, which many names overflow; while the user chooses, this
// class keeps its own copy of the selection when it is too long, and when the platform gives up
// for that reason it reports success all the same and hands out the copy.
class CMultiFileDialog : public CFileDialog {
  public:
    CMultiFileDialog(bool open, const std::string& defExt, const std::string& fileName, DWORD flags,
                     std::string_view filter, CWnd* parent);

    INT_PTR DoModal() override;
    POSITION GetStartPosition() const override;
    std::string GetNextPathName(POSITION& pos) const override;

    bool m_bSpecParsed = false;
    std::unique_ptr<wchar_t[]> m_pszFolder;  // captured folder of an oversized selection
    std::unique_ptr<wchar_t[]> m_pszSpec;    // captured name list of an oversized selection

  protected:
    void OnFileNameChange() override;

  private:
    // Splits the captured name list into NUL-terminated names, once.
    void ParseSpec() const;
    mutable std::size_t spec_length_ = 0;  // of the split list, its last NUL not counted
};

}  // namespace deckwright
