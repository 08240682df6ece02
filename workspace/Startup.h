#pragma once
// Start-up: the main window, then every auxiliary window once, hidden, in a fixed order.

#include <memory>

namespace nuvak {

class TMainForm;

// Creates the main window and, as its children, the auxiliary windows in start-up order:
// TAboutBox, TGMCPanel, TGMM, TEDG, TBLUR, TComaCorrect, TTitle, TSabachie, TRGBComp,
// TState, TComposite, TTilt, TAdvance, TImgPanel, TSpDraw, TMscomp, TTrack, TTrackAd, THLP.
std::unique_ptr<TMainForm> CreateWindows();

// The whole program: title, windows, event loop. An error while the windows are created is
// shown in the standard error box and the program ends with exit code 0.
int RunProgram(int& argc, char** argv);

}  // namespace nuvak
