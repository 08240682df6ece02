#pragma once
// The project file of the RGB composite workbench (".mvl"): a plain text file of the frame
// lists and every setting, one item per line, CR LF line ends.

#include <string>
#include <string_view>

#include "rgbcomp/setup.h"

namespace nuvak {

// The file's text for a set-up, byte for byte as it is saved.
std::string ProjectFileText(const RGBCompositeSetup& setup);

// Reads a project file's text. Values the file leaves to the window (a mode or detection
// number other than 0, 1, 2) keep what `before` holds. Throws CompositeError naming the file
// (name) and the first item that cannot be read; nothing is half applied.
RGBCompositeSetup ParseProjectFile(std::string_view text, const std::string& name,
                                   const RGBCompositeSetup& before = {});

// The name a chosen save name is written under: its extension replaced by ".mvl".
std::string ProjectFileName(const std::string& chosen);

// A check box of the advanced settings window after a load: checked for a loaded 1, cleared
// for a 0, and as it was shown (1 or 0) for any other value.
int FlagAfterLoad(int shown, int loaded);

// The set-up "OK" runs in a freshly started workbench that has loaded `loaded` (read from a
// fresh set-up, so that a mode or detection number other than 0, 1, 2 left none and peak):
// the run takes the advanced window's check boxes, still cleared where the file's flag was
// neither 1 nor 0, and reads the factors back from the fields that show them in general
// decimal form (ConversionError where such a field cannot be read back).
RGBCompositeSetup FreshWorkbenchRun(const RGBCompositeSetup& loaded);

// Writes the file atomically (FileError when it cannot be written) and reads it back.
void SaveProjectFile(const std::string& path, const RGBCompositeSetup& setup);
RGBCompositeSetup LoadProjectFile(const std::string& path, const RGBCompositeSetup& before = {});

}  // namespace nuvak
