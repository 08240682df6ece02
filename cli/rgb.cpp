#include "cli/rgb.h"

#include <iostream>
#include <optional>
#include <utility>

#include "cli/arguments.h"
#include "cli/failure.h"
#include "core/format.h"
#include "core/image_files.h"
#include "core/progress.h"
#include "resources/messages.h"
#include "rgbcomp/pipeline.h"
#include "rgbcomp/project.h"

namespace nuvak::cli {

extern const char kRgbUsage[] = "usage: nuvak-cli rgb PROJECT.mvl OUT   (OUT ends in .bmp, .jpg or .jpeg)\n";

namespace {

int usage(const std::string& problem) {
    std::cerr << "nuvak-cli: " << problem << "\n" << kRgbUsage;
    return 2;
}

}  // namespace

int RgbComposite(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    try {
        positional = CommandLine().parse(args);
    } catch (const UsageError& e) {
        return usage(e.message);
    }
    if (positional.size() != 2) return usage("rgb takes PROJECT.mvl and OUT");
    const std::string& project = positional[0];
    const std::string& out = positional[1];
    const std::optional<DisplayFormat> picture = PictureFormatOf(out);
    if (!picture) return usage(PictureExtensionUsage(out));
    const DisplayFormat format = *picture;
    try {
        // What a freshly started workbench runs after loading the file.
        const RGBCompositeSetup setup = FreshWorkbenchRun(LoadProjectFile(project));
        Progress silent;
        std::optional<Raster> result = RunRGBComposite(
            setup, silent, [](const std::string& notice) { std::cerr << "nuvak-cli: " << notice << "\n"; });
        // The workbench shows nothing at all then; a command that was asked for a picture says why there is none.
        if (!result) throw CompositeError(FillMessage(msg::kProjectNoColourFrames, project));
        WriteDisplay(RGBCompositeDocument(std::move(*result)), out, format);
        return 0;
    } catch (...) {
        return ReportRunFailure();
    }
}

}  // namespace nuvak::cli
