#pragma once

#include <string>
#include <vector>

#include "platform/ui/win32/app.h"

namespace deckwright {

// The application: starts the main frame and answers About (Exit is the base's).
class CRepairApp : public CWinApp {
  public:
    CRepairApp();
    bool InitInstance() override;

    // The files named after the program on its command line, as full paths.
    static std::vector<std::string> CommandLineFiles();

  private:
    void OnAppAbout();
};

}  // namespace deckwright
