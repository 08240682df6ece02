#include "tests/support/locale.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "tests/support/files.h"

namespace nuvak::test {

namespace {

bool printfWritesComma() {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%g", 0.5);
    return std::string(buf) == "0,5";
}

bool tryLocale(const char* name) {
    return std::setlocale(LC_ALL, name) && printfWritesComma();
}

#ifndef _WIN32
// A locale that defines the numbers alone: a decimal comma and a period between thousands.
const char kCommaSource[] =
    "LC_NUMERIC\n"
    "decimal_point \"<U002C>\"\n"
    "thousands_sep \"<U002E>\"\n"
    "grouping 3;3\n"
    "END LC_NUMERIC\n";
#endif

}  // namespace

struct DecimalCommaLocale::Folder {
    TempDir dir;
    std::optional<std::string> oldLocPath;
};

DecimalCommaLocale::DecimalCommaLocale() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "German_Germany.1252", "de-DE"}) {
        if (tryLocale(name)) {
            active_ = true;
            return;
        }
    }
#ifndef _WIN32
    // glibc's localedef compiles the definition into the test's own folder, and LOCPATH
    // makes setlocale look there.
    folder_ = std::make_unique<Folder>();
    const std::string source = folder_->dir.file("comma.src"), target = folder_->dir.file("nuvak_comma");
    std::ofstream(source) << kCommaSource;
    const std::string command = "localedef -c -i '" + source + "' '" + target + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    if (const char* old = std::getenv("LOCPATH")) folder_->oldLocPath = old;
    setenv("LOCPATH", folder_->dir.path().string().c_str(), 1);
    if (tryLocale("nuvak_comma")) {
        active_ = true;
        return;
    }
    why_ = "no German locale is installed and localedef (status " + std::to_string(status) +
           ") gave no usable one in " + folder_->dir.path().string();
#else
    why_ = "no German locale is installed";
#endif
    std::setlocale(LC_ALL, "C");
}

DecimalCommaLocale::~DecimalCommaLocale() {
    std::setlocale(LC_ALL, "C");
#ifndef _WIN32
    if (folder_) {
        if (folder_->oldLocPath)
            setenv("LOCPATH", folder_->oldLocPath->c_str(), 1);
        else
            unsetenv("LOCPATH");
    }
#endif
}

}  // namespace nuvak::test
