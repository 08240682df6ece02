#pragma once
// The tracking measurement window: frame list, optical parameters, the start of the
// measurement, and the graph and statistics of the star's wander. Always on top.

#include <QWidget>

namespace nuvak {

class TTrack : public QWidget {
    Q_OBJECT
public:
    explicit TTrack(QWidget* parent = nullptr);
};

}  // namespace nuvak
