#pragma once
// The progress ("State") window: one line of text in a "Statement" group.

#include <QWidget>

class QGroupBox;
class QLabel;

namespace nuvak {

class TState : public QWidget {
    Q_OBJECT
public:
    explicit TState(QWidget* parent = nullptr);

    QGroupBox* GroupBox1;
    QLabel* Label1;
};

}  // namespace nuvak
