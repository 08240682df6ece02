#pragma once
// Start-up: the main window, then every auxiliary window once, hidden, in a fixed order.

#include <memory>

namespace nuvak {

class TMainForm;

// Which commands the windows offer. Standard: the menus and controls the program is built
// with, the hidden ones hidden. Full: also every hidden menu item and control whose command
// exists (image editing and processing, spectrum, save, help; the tracking window's results
// panel, graph overlays, flattening and advanced settings). No command behaves differently.
enum class Configuration { Standard, Full };

// The configuration in force; windows read it once, when they are built.
Configuration CurrentConfiguration();
void SetConfiguration(Configuration configuration);

// The configuration the command line asks for: Full with "--full", otherwise Standard.
Configuration ConfigurationOf(int argc, char** argv);

// Creates the main window and, as its children, the auxiliary windows in start-up order:
// TAboutBox, TGMCPanel, TGMM, TEDG, TBLUR, TComaCorrect, TTitle, TSabachie, TRGBComp,
// TState, TComposite, TTilt, TAdvance, TImgPanel, TSpDraw, TMscomp, TTrack, TTrackAd, THLP.
// The windows are built for the configuration in force.
std::unique_ptr<TMainForm> CreateWindows();

// The whole program: Japanese texts for the toolkit's own dialogs, configuration, windows,
// event loop. An error while the windows are created is
// shown in the standard error box and the program ends with exit code 0.
int RunProgram(int& argc, char** argv);

}  // namespace nuvak
