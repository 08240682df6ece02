#pragma once
// A decimal-comma locale for the length of a test: the process's C locale set as a desktop
// session in much of Europe sets it (the GUI toolkit applies the session's locale at start-up),
// so that a number written through printf comes out as "0,5".

#include <memory>
#include <string>

namespace nuvak::test {

class DecimalCommaLocale {
public:
    // Sets the locale: an installed German one, else one compiled for this test alone into a
    // temporary folder (nothing on the system changes). Check active() before relying on it.
    DecimalCommaLocale();
    // Restores the C locale.
    ~DecimalCommaLocale();
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

    // True when printf now writes a decimal comma; otherwise why() says what was tried.
    bool active() const { return active_; }
    const std::string& why() const { return why_; }

private:
    struct Folder;
    std::unique_ptr<Folder> folder_;
    bool active_ = false;
    std::string why_;
};

}  // namespace nuvak::test
