#pragma once
// The advanced settings of the RGB composite workbench: blooming removal, 180-degree turn
// and background slope per channel. Always on top.

#include <QWidget>

namespace nuvak {

class TAdvance : public QWidget {
    Q_OBJECT
public:
    explicit TAdvance(QWidget* parent = nullptr);
};

}  // namespace nuvak
