#pragma once
// Progress of a long command, shown on a bar of 0 ... 100. The default shows nothing, so
// the command line and the tests need no stand-in.

namespace nuvak {

class Progress {
public:
    virtual ~Progress() = default;
    // The bar's position, 0 ... 100 (values above 100 show a full bar).
    virtual void setPosition(int) {}
};

}  // namespace nuvak
