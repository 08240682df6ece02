#pragma once
// The splash window: a picture of the night sky with the program's name and version. It
// closes itself when its timer runs out or when the picture is clicked.

#include <QImage>
#include <QWidget>

class QTimer;

namespace nuvak {

namespace platform {
class Picture;
}

class TTitle : public QWidget {
    Q_OBJECT
public:
    explicit TTitle(QWidget* parent = nullptr);

    // Closes the window and stops the timer.
    void Timer1Timer();
    // A click on the picture closes the window.
    void Image1Click();

    // The picture before the version lines are written on it.
    static QImage Background();

    platform::Picture* Image1;
    QTimer* Timer1;

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace nuvak
