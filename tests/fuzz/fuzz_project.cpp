// The reader of the RGB composite project file. A file it cannot read must surface as
// CompositeError; a file it accepts must come back unchanged through a save and a load
// once its white balance has the six significant digits that saving keeps.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rgbcomp/project.h"
#include "tests/fuzz/fuzz_check.h"

using namespace nuvak;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const RGBCompositeSetup read = ParseProjectFile(text, "fuzz.mvl");
        for (const auto& list : read.lists)
            for (const std::string& path : list)
                fuzz::Check(!path.empty() && path.find('\n') == std::string::npos, "a path is one non-empty line");
        fuzz::Check(read.starMode >= 0 && read.starMode <= 2 && read.detect >= 0 && read.detect <= 2,
                    "the mode and the detection are ones the window has");
        const RGBCompositeSetup saved = ParseProjectFile(ProjectFileText(read), "fuzz.mvl");
        fuzz::Check(ParseProjectFile(ProjectFileText(saved), "fuzz.mvl") == saved, "a saved set-up loads as it was");
    } catch (const CompositeError&) {
    }
    return 0;
}
