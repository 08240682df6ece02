#include "cli/process.h"

#include <exception>
#include <functional>
#include <iostream>
#include <map>
#include <optional>

#include "cli/arguments.h"
#include "cli/failure.h"
#include "core/blooming.h"
#include "core/error.h"
#include "core/format.h"
#include "core/image_files.h"
#include "core/open.h"
#include "core/progress.h"
#include "imageops/corrections.h"
#include "imageops/filters.h"
#include "imageops/geometry.h"
#include "imageops/tone.h"
#include "resources/messages.h"

namespace nuvak::cli {

extern const char kProcessUsage[] =
    "usage: nuvak-cli process IN OUT --op OP [--op OP ...] [--out-master]\n"
    "  OP: mirror flip rotate blur highpass lowpass gamma=G solarize sabattier=S bloom\n"
    "      coma=X,Y,A gmc=T,F,S,H   (OUT: .bmp or .jpg/.jpeg; --out-master writes the master picture)\n";

namespace {

// What the menu commands keep between runs in the window program: the gamma dialog's text,
// which the coma correction reads.
struct Session {
    std::string gammaText = "1.0";
};

// One menu command with its values as the dialog fields would hold them.
struct Op {
    std::string name;
    std::vector<std::string> values;
};

using Runner = std::function<void(ImageDocument&, const std::vector<std::string>&, Session&, Progress&)>;

struct OpKind {
    std::string forms;  // one letter per comma-separated value after "=": i whole, r real
    Runner run;
};

const std::map<std::string, OpKind>& Ops();

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(separator, from);
        parts.push_back(text.substr(from, at - from));
        if (at == std::string::npos) return parts;
        from = at + 1;
    }
}

// "name" or "name=v1,v2,...", checked against the table: names and value counts and forms.
Op parseOp(const std::string& text) {
    const std::size_t eq = text.find('=');
    Op op{text.substr(0, eq), {}};
    const auto kind = Ops().find(op.name);
    if (kind == Ops().end()) throw UsageError{"unknown op: " + text};
    if (eq != std::string::npos) op.values = split(text.substr(eq + 1), ',');
    const std::string& forms = kind->second.forms;
    if (op.values.size() != forms.size()) throw UsageError{"wrong number of values for " + op.name + ": " + text};
    for (std::size_t k = 0; k < forms.size(); ++k) {
        const std::string& v = op.values[k];
        try {
            if (forms[k] == 'r') {
                ParseReal(v);
            } else {
                ParseInt(v);
            }
        } catch (const ConversionError&) {
            std::string problem = "not a number in " + text;
            problem += ": '" + v + "'";
            throw UsageError{problem};
        }
    }
    return op;
}

struct Options {
    std::string in, out;
    std::vector<Op> ops;
    bool master = false;
    DisplayFormat format = DisplayFormat::Bmp;
};

Options parse(const std::vector<std::string>& args) {
    Options o;
    const std::vector<std::string> positional =
        CommandLine()
            .option(
                "--op", [&](const std::string& v) { o.ops.push_back(parseOp(v)); }, "--op needs a command")
            .flag("--out-master", [&] { o.master = true; })
            .parse(args);
    if (positional.size() != 2) throw UsageError{"process takes IN and OUT"};
    if (o.ops.empty()) throw UsageError{"process needs at least one --op"};
    o.in = positional[0];
    o.out = positional[1];
    const std::optional<DisplayFormat> picture = PictureFormatOf(o.out);
    if (!picture) throw UsageError{PictureExtensionUsage(o.out)};
    o.format = *picture;
    if (FileKindOfExtension(o.in) == 0) throw UsageError{"cannot tell the kind of " + o.in + " from its extension"};
    return o;
}

const std::map<std::string, OpKind>& Ops() {
    static const std::map<std::string, OpKind> ops = {
        {"mirror",
         {"", [](ImageDocument& d, const std::vector<std::string>&, Session&, Progress&) { MirrorCommand(d); }}},
        {"flip", {"", [](ImageDocument& d, const std::vector<std::string>&, Session&, Progress&) { FlipCommand(d); }}},
        {"rotate",
         {"", [](ImageDocument& d, const std::vector<std::string>&, Session&, Progress& p) { RotateCommand(d, p); }}},
        {"blur",
         {"", [](ImageDocument& d, const std::vector<std::string>&, Session&, Progress& p) { BlurCommand(d, p); }}},
        {"highpass",
         {"", [](ImageDocument& d, const std::vector<std::string>&, Session&, Progress& p) { HighPassCommand(d, p); }}},
        {"lowpass",
         {"", [](ImageDocument& d, const std::vector<std::string>&, Session&, Progress& p) { LowPassCommand(d, p); }}},
        {"gamma",
         {"r",
          [](ImageDocument& d, const std::vector<std::string>& v, Session& s, Progress&) {
              s.gammaText = v[0];
              GammaCommand(d, ParseReal(v[0]));
          }}},
        {"solarize",
         {"", [](ImageDocument& d, const std::vector<std::string>&, Session&, Progress&) { SolarizeCommand(d); }}},
        {"sabattier",
         {"r", [](ImageDocument& d, const std::vector<std::string>& v, Session&,
                  Progress&) { SabattierCommand(d, ParseReal(v[0])); }}},
        {"bloom",
         {"", [](ImageDocument& d, const std::vector<std::string>&, Session&,
                 Progress& p) { RemoveBloomingCommand(d, p); }}},
        {"coma",
         {"iir",
          [](ImageDocument& d, const std::vector<std::string>& v, Session& s, Progress&) {
              // The gamma dialog's text as it stands, read for a colour image only.
              if (d.kind() != ImageKind::Colour) return;
              ComaCorrectCommand(d, ParseInt(v[0]), ParseInt(v[1]), ParseReal(v[2]), ParseReal(s.gammaText));
          }}},
        {"gmc",
         {"iiri",
          [](ImageDocument& d, const std::vector<std::string>& v, Session&, Progress& p) {
              // As the panel's OK stores them: a blur amount below 0.2 is taken as 0.2.
              GuideMissSettings settings;
              settings.direction = ParseInt(v[0]);
              settings.flow = ParseInt(v[1]);
              settings.blur = ParseReal(v[2]);
              if (!(settings.blur >= 0.2)) settings.blur = 0.2;
              settings.threshold = ParseInt(v[3]);
              settings.confirmed = true;
              GuideMissCancelCommand(d, settings, p);
          }}},
    };
    return ops;
}

}  // namespace

int Process(const std::vector<std::string>& args) {
    try {
        const Options o = parse(args);
        ImageDocument d = OpenImageFile(o.in, static_cast<FileKind>(FileKindOfExtension(o.in))).document;
        Session session;
        Progress silent;
        for (const Op& op : o.ops) Ops().at(op.name).run(d, op.values, session, silent);
        if (o.master) d.Image = std::move(d.ImageZm);
        WriteDisplay(d, o.out, o.format);
        return 0;
    } catch (const UsageError& e) {
        std::cerr << "nuvak-cli: " << e.message << "\n" << kProcessUsage;
        return 2;
    } catch (...) {
        return ReportRunFailure();
    }
}

}  // namespace nuvak::cli
