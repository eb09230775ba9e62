#pragma once
// The progress overlay's life, without widgets: it exists only between a ShowProgress that
// made it and the next HideProgress; a Show while it is visible only changes its text.

namespace ZEL {

class TWaitOverlayState {
public:
  struct TShowSteps {
    bool Create = false;           // no overlay yet: make a fresh one ("Please wait...")
    bool StartAndShow = false;     // start the animations and show it
  };

  TShowSteps Show() {
    TShowSteps LSteps;
    LSteps.Create = !FExists;
    LSteps.StartAndShow = !FVisible;
    FExists = true;
    FVisible = true;
    return LSteps;
  }
  // True when there was an overlay to hide and close.
  bool Hide() {
    const bool LHad = FExists;
    FExists = false;
    FVisible = false;
    return LHad;
  }
  bool Visible() const { return FVisible; }

private:
  bool FExists = false;
  bool FVisible = false;
};

}  // namespace ZEL
