#pragma once

#include "platform/ui/win32/app.h"

namespace deckwright {

// The application: starts the main frame and answers About (Exit is the base's).
class CRepairApp : public CWinApp {
  public:
    CRepairApp();
    bool InitInstance() override;

  private:
    void OnAppAbout();
};

}  // namespace deckwright
