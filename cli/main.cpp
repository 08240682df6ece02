// nuvak-cli: the headless entry to the image readers and, later, the measurements.
//
//   nuvak-cli info FILE [--as fits|bmp|jpeg|pgm]
//   nuvak-cli render FILE OUT [--as fits|bmp|jpeg|pgm]
//   nuvak-cli make-samples [--camera | --field] DIR
//   nuvak-cli track [options] FRAME...
//
// Exit status: 0 success, 1 a file could not be read or written (message on stderr),
// 2 a usage error. Only the JSON object goes to standard output.

#include <algorithm>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "cli/arguments.h"
#include "cli/failure.h"
#include "cli/process.h"
#include "cli/rgb.h"
#include "cli/selftest.h"
#include "cli/stacking.h"
#include "cli/track.h"
#include "core/error.h"
#include "core/fileio.h"
#include "core/fits.h"
#include "core/format.h"
#include "core/image_files.h"
#include "core/json.h"
#include "core/open.h"
#include "core/samples.h"
#include "platform/system/arguments.h"
#include "platform/system/memory.h"
#include "resources/messages.h"
#include "tracking/stars.h"

namespace nuvak::cli {

namespace {

constexpr int kOk = 0;
constexpr int kUsage = 2;

const char kUsageText[] =
    "usage: nuvak-cli info FILE [--as fits|bmp|jpeg|pgm]\n"
    "       nuvak-cli render FILE OUT [--as fits|bmp|jpeg|pgm]\n"
    "       nuvak-cli make-samples [--camera | --field] DIR\n"
    "       nuvak-cli track [options] FRAME...   (nuvak-cli track --help for the options)\n"
    "       nuvak-cli process IN OUT --op OP [--op OP ...] [--out-master]\n"
    "       nuvak-cli stack --method average|add|max|min|expected IN... OUT\n"
    "       nuvak-cli mosaic [--across NX] [--down NY] IN... OUT\n"
    "       nuvak-cli separate IN OUTDIR\n"
    "       nuvak-cli spectrum IN OUT.txt\n"
    "       nuvak-cli rgb PROJECT.mvl OUT\n"
    "       nuvak-cli selftest\n";

struct Arguments {
    std::vector<std::string> positional;
    std::optional<FileKind> as;
};

std::optional<FileKind> kindNamed(const std::string& name) {
    if (name == "fits") return FileKind::Fits;
    if (name == "bmp") return FileKind::Bmp;
    if (name == "jpeg" || name == "jpg") return FileKind::Jpeg;
    if (name == "pgm") return FileKind::Pgm;
    return std::nullopt;
}

Arguments parse(const std::vector<std::string>& args) {
    Arguments a;
    a.positional = CommandLine()
                       .option(
                           "--as",
                           [&](const std::string& value) {
                               a.as = kindNamed(value);
                               if (!a.as)
                                   throw UsageError{"unknown kind for --as: " + value + " (fits, bmp, jpeg or pgm)"};
                           },
                           "--as needs a kind: fits, bmp, jpeg or pgm")
                       .parse(args);
    return a;
}

FileKind kindOf(const std::string& path, const std::optional<FileKind>& as) {
    if (as) return *as;
    const int k = FileKindOfExtension(path);
    if (k == 0) throw UsageError{"cannot tell the kind of " + path + " from its extension; give --as"};
    return static_cast<FileKind>(k);
}

int info(const Arguments& a) {
    if (a.positional.size() != 1) throw UsageError{"info takes one FILE"};
    const std::string& path = a.positional[0];
    const OpenedDocument opened = OpenImageFile(path, kindOf(path, a.as));
    const ImageDocument& d = opened.document;
    JsonObject o;
    o.add("kind", static_cast<int>(d.kind()));
    o.add("width", d.DemX).add("height", d.DemY).add("caption", d.caption);
    if (d.kind() == ImageKind::Mono16) {
        o.add("cards", opened.cards.value_or(0));
        o.add("bzero", std::int64_t(opened.bzero.value_or(0)));
        o.add("level_min", d.MIN).add("level_max", d.MAX);
        o.addRaw("average", FormatGeneral(d.Average.value_or(0)));
    }
    // A layout read through the general FITS library: where the image was and how its values
    // became samples (sample = round((value - offset) * factor)).
    if (const auto& c = opened.conversion) {
        o.add("bitpix", c->bitpix).add("hdu", c->hdu).add("planes", std::int64_t(c->planes));
        o.addRaw("scale", JsonObject().add("offset", c->offset).add("factor", c->factor).str());
    }
    std::cout << o.str() << "\n";
    return kOk;
}

int render(const Arguments& a) {
    if (a.positional.size() != 2) throw UsageError{"render takes FILE and OUT"};
    const std::string& path = a.positional[0];
    const std::string& out = a.positional[1];
    const std::optional<DisplayFormat> picture = PictureFormatOf(out);
    if (!picture) throw UsageError{PictureExtensionUsage(out)};
    const DisplayFormat format = *picture;
    const FileKind kind = kindOf(path, a.as);
    const OpenedDocument opened = OpenImageFile(path, kind);
    WriteDisplay(opened.document, out, format);
    return kOk;
}

// A frame size "WxH", each side 64 ... the largest FITS side the readers take.
std::pair<int, int> sizeNamed(const std::string& text) {
    const std::size_t by = text.find('x');
    auto side = [&](const std::string& t) {
        if (t.empty() || t.size() > 5 || t.find_first_not_of("0123456789") != std::string::npos) return 0;
        const int v = std::stoi(t);
        return v >= 64 && v <= kFitsMaxSide ? v : 0;
    };
    const int w = by == std::string::npos ? 0 : side(text.substr(0, by));
    const int h = by == std::string::npos ? 0 : side(text.substr(by + 1));
    if (!w || !h) throw UsageError{"--size takes WxH, each side 64 ... " + std::to_string(kFitsMaxSide) + ": " + text};
    return {w, h};
}

// Writes the synthetic sample series and lists the frames it wrote, one per line. With
// --camera, the camera night instead, then the pixel of its star in the first frame (for
// track --star). --size WxH makes the camera night's frames smaller, for the checks. With
// --field, a field of 10 stars turning at 3 degrees an hour, for track --stars.
int makeSamples(const std::vector<std::string>& args) {
    bool camera = false, field = false;
    std::optional<std::pair<int, int>> size;
    const std::vector<std::string> positional =
        CommandLine()
            .flag("--camera", [&] { camera = true; })
            .flag("--field", [&] { field = true; })
            .option(
                "--size", [&](const std::string& v) { size = sizeNamed(v); }, "--size needs WxH")
            .parse(args);
    if (positional.size() != 1) throw UsageError{"make-samples takes one DIR"};
    if (size && !camera) throw UsageError{"--size is for the camera night (--camera)"};
    if (camera && field) throw UsageError{"make-samples takes --camera or --field, not both"};
    if (field) {
        std::filesystem::create_directories(PathOf(positional[0]));
        FieldOptions options;
        options.frames = 30;
        for (const SyntheticFrame& frame : WriteSyntheticField(positional[0], options)) std::cout << frame.path << "\n";
        return kOk;
    }
    if (!camera) {
        for (const std::string& frame : WriteSampleSeries(positional[0])) std::cout << frame << "\n";
        return kOk;
    }
    CameraNight night;
    if (size) std::tie(night.width, night.height) = *size;
    const CameraNightFiles files = WriteCameraNight(positional[0], night);
    for (const std::string& frame : files.frames) std::cout << frame << "\n";
    std::cout << "star: " << files.starX << "," << files.starY << "\n";
    return kOk;
}

// The usage of one command: its own text, or its line of the general one; null for a command
// that does not exist.
std::optional<std::string> commandUsage(const std::string& command) {
    if (command == "track") return kTrackUsage;
    if (command == "process") return kProcessUsage;
    if (command == "stack" || command == "mosaic" || command == "separate" || command == "spectrum")
        return kStackingUsage;
    if (command == "rgb") return kRgbUsage;
    const std::string text = kUsageText;
    const std::string line = "nuvak-cli " + command + " ";
    for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
        const std::size_t end = text.find('\n', at);
        return "usage: " + text.substr(at, end - at) + "\n";
    }
    if (command == "selftest") return std::string("usage: nuvak-cli selftest\n");
    return std::nullopt;
}

bool isHelp(const std::string& a) { return a == "--help" || a == "-h"; }

int run(const std::vector<std::string>& args) {
    try {
        if (args.empty()) throw UsageError{"no command given"};
        const std::string& command = args[0];
        // --help alone lists every command; after a command it prints that command's usage.
        if (isHelp(command) || command == "help") {
            std::cout << kUsageText;
            return kOk;
        }
        if (std::any_of(args.begin() + 1, args.end(), isHelp)) {
            const std::optional<std::string> usage = commandUsage(command);
            if (!usage) throw UsageError{"unknown command: " + command};
            std::cout << *usage;
            return kOk;
        }
        if (command == "track") return Track({args.begin() + 1, args.end()});
        // Large pages behind the pictures of an opened image: faulting in a 4096 x 4096
        // frame's rasters a small page at a time costs more than everything else the open does.
        platform::UseLargePagesForRasters();
        if (command == "process") return Process({args.begin() + 1, args.end()});
        const std::vector<std::string> rest(args.begin() + 1, args.end());
        if (command == "stack") return Stack(rest);
        if (command == "mosaic") return MosaicImages(rest);
        if (command == "separate") return Separate(rest);
        if (command == "spectrum") return Spectrum(rest);
        if (command == "rgb") return RgbComposite(rest);
        if (command == "selftest") return SelfTest(rest);
        if (command == "make-samples") return makeSamples(rest);
        const Arguments a = parse({args.begin() + 1, args.end()});
        if (command == "info") return info(a);
        if (command == "render") return render(a);
        throw UsageError{"unknown command: " + command};
    } catch (const UsageError& e) {
        std::cerr << "nuvak-cli: " << e.message << "\n" << kUsageText;
        return kUsage;
    } catch (...) {
        return ReportRunFailure();
    }
}

}  // namespace

}  // namespace nuvak::cli

int main(int argc, char** argv) {
    nuvak::platform::UseBinaryStandardStreams();
    return nuvak::cli::run(nuvak::platform::CommandLineArguments(argc, argv));
}
