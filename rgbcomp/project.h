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

// Writes the file atomically (FileError when it cannot be written) and reads it back.
void SaveProjectFile(const std::string& path, const RGBCompositeSetup& setup);
RGBCompositeSetup LoadProjectFile(const std::string& path, const RGBCompositeSetup& before = {});

}  // namespace nuvak
