#include "rgbcomp/project.h"

#include <cstdint>
#include <optional>
#include <span>

#include "core/error.h"
#include "core/fileio.h"
#include "core/format.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

constexpr std::string_view kHeader[] = {"MORVEL-2", "File", "Data", "of", "RGB", "composite"};
// The label words after each list count, in list order.
constexpr const char* kListLabels[] = {"Red", "Green", "Blue", "Dark", "Flat"};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// A text found where a value belongs, shortened for a message (cut at a character boundary).
std::string quoted(std::string_view word) {
    constexpr std::size_t kMost = 40;
    if (word.size() <= kMost) return std::string(word);
    std::size_t n = kMost;
    while (n > 0 && (static_cast<unsigned char>(word[n]) & 0xC0) == 0x80) --n;
    return std::string(word.substr(0, n)) + "…";
}

// Walks the text word by word, where the format is made of words, and line by line for the
// paths. Every failure throws CompositeError naming the file and the item.
class Reader {
public:
    Reader(std::string_view text, const std::string& name) : text_(text), name_(name) {}

    // The next run of non-blank characters, or nothing at the end of the text.
    std::optional<std::string_view> word() {
        while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
        if (pos_ == text_.size()) return std::nullopt;
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !isBlank(text_[pos_])) ++pos_;
        return text_.substr(start, pos_ - start);
    }

    std::string_view needWord(const std::string& item) {
        const std::optional<std::string_view> w = word();
        if (!w) fail(msg::kProjectCutShort, item);
        return *w;
    }

    // Skips a label word without looking at it.
    void label(std::string_view expected) { needWord(FillMessage(msg::kProjectLabel, expected)); }

    int integer(const std::string& item) {
        const std::string_view w = needWord(item);
        try {
            return ParseInt(w);
        } catch (const ConversionError&) {
            fail(msg::kProjectNotInteger, item, quoted(w));
        }
    }

    double real(const std::string& item) {
        const std::string_view w = needWord(item);
        try {
            return ParseReal(w);
        } catch (const ConversionError&) {
            fail(msg::kProjectNotReal, item, quoted(w));
        }
    }

    // Passes the rest of the current line and its line end.
    void endLine() {
        const std::size_t lf = text_.find('\n', pos_);
        pos_ = lf == std::string_view::npos ? text_.size() : lf + 1;
    }

    // The next whole line without its CR LF or LF; nothing at the end of the text.
    std::optional<std::string_view> line() {
        if (pos_ == text_.size()) return std::nullopt;
        const std::size_t start = pos_;
        endLine();
        std::string_view l = text_.substr(start, pos_ - start);
        if (!l.empty() && l.back() == '\n') l.remove_suffix(1);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        return l;
    }

    template <class... Args>
    [[noreturn]] void fail(std::string_view pattern, const Args&... args) const {
        throw CompositeError(FillMessage(pattern, name_, args...));
    }

private:
    std::string_view text_;
    const std::string& name_;
    std::size_t pos_ = 0;
};

void readList(Reader& in, int list, std::vector<std::string>& paths) {
    const char* listName = msg::kProjectListNames[list];
    const std::string countItem = FillMessage(msg::kProjectCount, listName);
    const int n = in.integer(countItem);
    if (n < 0) in.fail(msg::kProjectNegativeCount, countItem, n);
    in.label(kListLabels[list]);
    in.label("File(s)");
    in.endLine();
    // No room is reserved for n paths: a damaged count must not claim memory the file
    // cannot fill.
    for (int i = 1; i <= n; ++i) {
        const std::string item = FillMessage(msg::kProjectPath, listName, i);
        const std::optional<std::string_view> path = in.line();
        if (!path) in.fail(msg::kProjectCutShort, item);
        if (path->find_first_not_of(" \t\v\f") == std::string_view::npos) in.fail(msg::kProjectEmptyPath, item);
        paths.emplace_back(*path);
    }
}

}  // namespace

std::string ProjectFileText(const RGBCompositeSetup& setup) {
    std::string t = "MORVEL-2 File Data of RGB composite\r\n";
    const auto line = [&t](std::initializer_list<std::string> fields, const char* end = "\r\n") {
        bool first = true;
        for (const std::string& f : fields) {
            if (!first) t += ' ';
            t += f;
            first = false;
        }
        t += end;
    };
    const auto num = [](int v) { return std::to_string(v); };
    for (int l = 0; l < kFrameListCount; ++l) {
        line({num(int(setup.lists[l].size())), kListLabels[l], "File(s)"});
        for (const std::string& path : setup.lists[l]) line({path});
    }
    line({"Star(s)", num(setup.starMode)});
    line({"Position"});
    line({num(setup.x1), num(setup.x2), num(setup.delta1)});
    line({num(setup.y1), num(setup.y2), num(setup.delta2)});
    line({"Detect", num(setup.detect)});
    line({"BackGroung"});
    line({num(setup.bx), num(setup.by), num(setup.bgl)});
    line({"WhiteBalance"});
    line({FormatG6(setup.r), FormatG6(setup.g), FormatG6(setup.b), FormatG6(setup.k)});
    line({"Anti-Blooming"});
    const AdvancedCompositeSettings& a = setup.advanced;
    line({num(a.bloomingEnable), num(a.bloomingThreshold), num(a.bloomingThickness), num(a.bloomingLength)},
         " \r\n");
    line({"Rotation"});
    line({num(a.turn[0]), num(a.turn[1]), num(a.turn[2])});
    line({"BackGroundSlope"});
    line({num(a.slope[0]), num(a.slope[1]), num(a.slope[2])});
    return t;
}

RGBCompositeSetup ParseProjectFile(std::string_view text, const std::string& name, const RGBCompositeSetup& before) {
    Reader in(text, name);
    for (std::string_view expected : kHeader)
        if (in.word() != expected) in.fail(msg::kProjectNotProjectFile);

    RGBCompositeSetup s = before;
    for (int l = 0; l < kFrameListCount; ++l) {
        s.lists[l].clear();
        readList(in, l, s.lists[l]);
    }

    in.label("Star(s)");
    const int mode = in.integer(msg::kProjectStarMode);
    if (mode >= kNoStar && mode <= kTwoStars) s.starMode = mode;

    in.label("Position");
    for (int* v : {&s.x1, &s.x2, &s.delta1, &s.y1, &s.y2, &s.delta2}) *v = in.integer(msg::kProjectStarPosition);

    in.label("Detect");
    const int detect = in.integer(msg::kProjectDetect);
    if (detect >= 0 && detect <= 2) s.detect = detect;

    in.label("BackGroung");
    for (int* v : {&s.bx, &s.by, &s.bgl}) *v = in.integer(msg::kProjectBackground);

    in.label("WhiteBalance");
    for (double* v : {&s.r, &s.g, &s.b, &s.k}) *v = in.real(msg::kProjectWhiteBalance);

    AdvancedCompositeSettings& a = s.advanced;
    in.label("Anti-Blooming");
    for (int* v : {&a.bloomingEnable, &a.bloomingThreshold, &a.bloomingThickness, &a.bloomingLength})
        *v = in.integer(msg::kProjectBlooming);

    in.label("Rotation");
    for (int& v : a.turn) v = in.integer(msg::kProjectTurn);

    in.label("BackGroundSlope");
    for (int& v : a.slope) v = in.integer(msg::kProjectSlope);
    return s;
}

int FlagAfterLoad(int shown, int loaded) { return loaded == 1 || loaded == 0 ? loaded : shown; }

RGBCompositeSetup FreshWorkbenchRun(const RGBCompositeSetup& loaded) {
    RGBCompositeSetup s = loaded;
    const AdvancedCompositeSettings fresh;
    AdvancedCompositeSettings& a = s.advanced;
    a.bloomingEnable = FlagAfterLoad(fresh.bloomingEnable, a.bloomingEnable);
    for (int c = 0; c < 3; ++c) {
        a.turn[c] = FlagAfterLoad(fresh.turn[c], a.turn[c]);
        a.slope[c] = FlagAfterLoad(fresh.slope[c], a.slope[c]);
    }
    for (double* v : {&s.r, &s.g, &s.b, &s.k}) *v = ParseReal(FormatGeneral(*v));
    return s;
}

std::string ProjectFileName(const std::string& chosen) { return ChangeFileExt(chosen, ".mvl"); }

void SaveProjectFile(const std::string& path, const RGBCompositeSetup& setup) {
    const std::string text = ProjectFileText(setup);
    WriteFileAtomically(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

RGBCompositeSetup LoadProjectFile(const std::string& path, const RGBCompositeSetup& before) {
    const FileBytes bytes = ReadWholeFile(path);
    return ParseProjectFile(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), path, before);
}

}  // namespace nuvak
