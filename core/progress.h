#pragma once
// Progress of a long command on a bar: positions 0 ... maximum, the maximum 100 unless the
// command sets it (a run over N frames sets N). The default shows nothing, so the command
// line and the tests need no stand-in.

namespace nuvak {

class Progress {
public:
    virtual ~Progress() = default;
    // The position of a full bar; 0 empties the bar (the command stopped).
    virtual void setMaximum(int) {}
    // The bar's position (values above the maximum show a full bar).
    virtual void setPosition(int) {}
};

}  // namespace nuvak
