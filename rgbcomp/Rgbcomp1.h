#pragma once
// The RGB composite workbench: frame lists, alignment stars, background and white balance,
// and the project file. Non-modal and always on top.

#include <QWidget>

namespace nuvak {

class TAdvance;

class TRGBComp : public QWidget {
    Q_OBJECT
public:
    explicit TRGBComp(QWidget* parent = nullptr);

    // The advanced settings window the composite run copies its settings from.
    TAdvance* advance = nullptr;
};

}  // namespace nuvak
