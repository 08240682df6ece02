#include "cli/stacking.h"

#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <span>

#include "cli/arguments.h"
#include "cli/failure.h"
#include "core/error.h"
#include "core/fileio.h"
#include "core/format.h"
#include "core/image_files.h"
#include "core/open.h"
#include "core/progress.h"
#include "resources/messages.h"
#include "stacking/composite.h"
#include "stacking/mosaic.h"
#include "stacking/separate.h"
#include "stacking/spectrum.h"

namespace nuvak::cli {

extern const char kStackingUsage[] =
    "usage: nuvak-cli stack --method average|add|max|min|expected IN... OUT\n"
    "       nuvak-cli mosaic [--across NX] [--down NY] IN... OUT\n"
    "       nuvak-cli separate IN OUTDIR\n"
    "       nuvak-cli spectrum IN OUT.txt\n";

namespace {

// Runs a subcommand body with the common exit statuses.
template <class F>
int guarded(F body) {
    try {
        return body();
    } catch (const UsageError& e) {
        std::cerr << "nuvak-cli: " << e.message << "\n" << kStackingUsage;
        return 2;
    } catch (...) {
        return ReportRunFailure();
    }
}

FileKind kindOf(const std::string& path) {
    const int k = FileKindOfExtension(path);
    if (k == 0) throw UsageError{"cannot tell the kind of " + path + " from its extension"};
    return static_cast<FileKind>(k);
}

DisplayFormat formatOf(const std::string& out) {
    if (const auto picture = PictureFormatOf(out)) return *picture;
    throw UsageError{PictureExtensionUsage(out)};
}

// The inputs opened as the open command opens them, in order: the windows of the program.
// The composite and the mosaic read only the master pictures; mastersOnly drops each
// display copy as soon as its file is open, which halves the memory twenty pictures take.
std::vector<ImageDocument> openAll(const std::vector<std::string>& paths, bool mastersOnly = false) {
    for (const std::string& p : paths) kindOf(p);
    std::vector<ImageDocument> documents;
    for (const std::string& p : paths) {
        documents.push_back(OpenImageFile(p, kindOf(p)).document);
        if (mastersOnly) documents.back().Image = {};
    }
    return documents;
}

std::vector<const ImageDocument*> pointers(const std::vector<ImageDocument>& documents) {
    std::vector<const ImageDocument*> out;
    out.reserve(documents.size());
    for (const ImageDocument& d : documents) out.push_back(&d);
    return out;
}

int wholeNumber(const std::string& option, const std::string& value) {
    try {
        return ParseInt(value);
    } catch (const ConversionError&) {
        throw UsageError{option + " takes a whole number, not '" + value + "'"};
    }
}

// Options with a value, then the positional arguments.
struct Parsed {
    std::map<std::string, std::string> options;
    std::vector<std::string> positional;
};

Parsed parse(const std::vector<std::string>& args, std::initializer_list<const char*> known) {
    Parsed p;
    CommandLine line;
    for (const char* k : known) line.option(k, [&p, k](const std::string& v) { p.options[k] = v; });
    p.positional = line.parse(args);
    return p;
}

}  // namespace

int Stack(const std::vector<std::string>& args) {
    return guarded([&] {
        const Parsed p = parse(args, {"--method"});
        static const std::map<std::string, CompositeMethod> methods = {{"average", CompositeMethod::Average},
                                                                       {"add", CompositeMethod::Add},
                                                                       {"max", CompositeMethod::Maximum},
                                                                       {"min", CompositeMethod::Minimum},
                                                                       {"expected", CompositeMethod::ExpectedValue}};
        const auto m = p.options.find("--method");
        if (m == p.options.end()) throw UsageError{"stack needs --method"};
        const auto method = methods.find(m->second);
        if (method == methods.end()) throw UsageError{"unknown method: " + m->second};
        if (p.positional.size() < 2) throw UsageError{"stack takes IN... OUT"};
        const std::string out = p.positional.back();
        const DisplayFormat format = formatOf(out);
        const std::vector<std::string> inputs(p.positional.begin(), p.positional.end() - 1);
        const std::vector<ImageDocument> windows = openAll(inputs, true);
        // The right-hand list holds captions: two equal names resolve to the first window.
        std::vector<std::string> captions;
        captions.reserve(windows.size());
        for (const ImageDocument& d : windows) captions.push_back(d.caption);
        Progress silent;
        const std::optional<ImageDocument> result =
            CompositeCommand(pointers(windows), captions, method->second, silent);
        if (result) WriteDisplay(*result, out, format);
        return 0;
    });
}

int MosaicImages(const std::vector<std::string>& args) {
    return guarded([&] {
        const Parsed p = parse(args, {"--across", "--down"});
        if (p.positional.size() < 2) throw UsageError{"mosaic takes IN... OUT"};
        const std::string out = p.positional.back();
        const DisplayFormat format = formatOf(out);
        const std::vector<std::string> inputs(p.positional.begin(), p.positional.end() - 1);
        const auto option = [&](const char* name, int fallback) {
            const auto it = p.options.find(name);
            return it == p.options.end() ? fallback : wholeNumber(name, it->second);
        };
        const int across = option("--across", 1);
        const int down = option("--down", int(inputs.size()));
        const std::vector<ImageDocument> windows = openAll(inputs, true);
        const std::optional<ImageDocument> result = MosaicCommand(pointers(windows), across, down);
        if (result) WriteDisplay(*result, out, format);
        return 0;
    });
}

int Separate(const std::vector<std::string>& args) {
    return guarded([&] {
        const Parsed p = parse(args, {});
        if (p.positional.size() != 2) throw UsageError{"separate takes IN and OUTDIR"};
        const ImageDocument source = openAll({p.positional[0]}).front();
        const std::vector<ImageDocument> channels = SeparateRGB(source);
        if (channels.empty()) throw ImageError(msg::kSeparateNeedsColour);
        const std::filesystem::path folder = PathOf(p.positional[1]);
        for (const ImageDocument& c : channels)
            WriteDisplay(c, Utf8Of(folder / PathOf(c.caption + ".bmp")), DisplayFormat::Bmp);
        return 0;
    });
}

int Spectrum(const std::vector<std::string>& args) {
    return guarded([&] {
        const Parsed p = parse(args, {});
        if (p.positional.size() != 2) throw UsageError{"spectrum takes IN and OUT.txt"};
        const ImageDocument source = openAll({p.positional[0]}).front();
        const std::string text = SpectrumDataText(SpectrumColumnMeans(source.Image));
        WriteFileAtomically(p.positional[1],
                            std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        return 0;
    });
}

}  // namespace nuvak::cli
