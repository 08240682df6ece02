#pragma once
// The spectrum window: the intensity profile of a horizontally spread spectrum.

#include <QWidget>

namespace nuvak {

class TSpDraw : public QWidget {
    Q_OBJECT
public:
    explicit TSpDraw(QWidget* parent = nullptr);
};

}  // namespace nuvak
