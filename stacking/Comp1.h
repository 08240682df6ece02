#pragma once
// The composite dialog: which open images to combine, in which order, and how.

#include <QDialog>

namespace nuvak {

class TComposite : public QDialog {
    Q_OBJECT
public:
    explicit TComposite(QWidget* parent = nullptr);
};

}  // namespace nuvak
