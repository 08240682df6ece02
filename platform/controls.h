#pragma once
// The controls Qt lacks: an arrow pair with a position, a picture that holds a 24-bit raster
// and shows it stretched to its own size, and a bar whose fill follows its value exactly.

#include <QImage>
#include <QProgressBar>
#include <QWidget>
#include <exception>

#include "core/progress.h"
#include "core/raster.h"
#include "platform/services.h"

class QToolButton;

namespace nuvak::platform {

// An arrow pair with Min, Max, Position and Increment. Pressing an arrow moves Position by
// Increment within the range and then emits clicked. It is never tied to a text field: the
// windows keep their fields and arrow pairs in step themselves.
class UpDown : public QWidget {
    Q_OBJECT
public:
    enum class Button { Up, Down };

    explicit UpDown(QWidget* parent = nullptr);

    int min() const { return min_; }
    int max() const { return max_; }
    int position() const { return position_; }
    int increment() const { return increment_; }
    void setRange(int min, int max);
    // Clamped to the range, as the control holds it.
    void setPosition(int position);
    void setIncrement(int increment) { increment_ = increment; }

    // What a press of the arrow does (tests call it as a user's click).
    void press(Button button);

signals:
    void clicked(nuvak::platform::UpDown::Button button);

private:
    QToolButton* up_;
    QToolButton* down_;
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    int increment_ = 1;
};

// Holds a 24-bit raster and paints it stretched to the control's size, pixel for pixel
// without smoothing. Mouse positions are reported in the control's own coordinates.
class Picture : public QWidget {
    Q_OBJECT
public:
    explicit Picture(QWidget* parent = nullptr);

    const Raster& raster() const { return raster_; }
    // Replaces the raster and repaints.
    void setRaster(Raster raster);
    // The raster for drawing on it in place; call changed() after.
    Raster& editRaster() { return raster_; }
    void changed();

signals:
    void mouseMoved(int x, int y);
    void mousePressed(Qt::MouseButton button, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    Raster raster_;
};

// A progress bar that paints itself: inside a one-pixel frame, the filled part is
// (value - minimum) / (maximum - minimum) of the inner width, truncated, at every value and in
// every style (a style may leave the low end of its bar empty or round it away).
class Gauge : public QProgressBar {
    Q_OBJECT
public:
    explicit Gauge(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Names a control (its objectName, by which tests find it) and places it at (x, y) with the
// given size; a negative width keeps the control's own size.
template <class W>
W* Place(W* w, const char* name, int x, int y, int width = -1, int height = -1) {
    w->setObjectName(QString::fromLatin1(name));
    w->move(x, y);
    if (width >= 0) w->resize(width, height);
    return w;
}

// Empties a progress bar: position at the start of a range of 0 ... 100. (A maximum of 0,
// as a stopped command might set it, would make the bar a running busy indicator.)
void EmptyProgress(QProgressBar* bar);

// Long commands turn the event loop as their bar moves, for repaints (user input waits), so a
// window can be asked to close half way through one. While a LongCommandScope lives (every
// RunWithBar holds one), DeferCloseWhileRunning(window) returns true and notes the window;
// when the last scope ends, each noted window is closed again from the event loop, after the
// command's handler has returned. A window whose close would end the program calls it first
// in its closeEvent and ignores the event when it returns true.
class LongCommandScope {
public:
    LongCommandScope();
    ~LongCommandScope();
    LongCommandScope(const LongCommandScope&) = delete;
    LongCommandScope& operator=(const LongCommandScope&) = delete;
};
bool LongCommandRunning();
bool DeferCloseWhileRunning(QWidget* window);

// Progress of a command on a bar; the windows repaint as it moves (user input waits). Used
// inside RunWithBar, whose scope keeps a close from ending the program under the command.
class BarProgress final : public Progress {
public:
    explicit BarProgress(QProgressBar* bar) : bar_(bar) {}
    // A maximum of 0 empties the bar: a range of 0 ... 0 would show a busy indicator instead.
    void setMaximum(int n) override;
    void setPosition(int position) override;

private:
    QProgressBar* bar_;
};

// Runs a long command that drives bar. When it stops on an error of one of the Refusals
// kinds, the bar is emptied, the error's text is shown in a message box over parent and the
// result is false; any other error empties the bar and goes on up. True when it ran through.
template <class... Refusals, class F>
bool RunWithBar(QWidget* parent, QProgressBar* bar, F&& command) {
    const LongCommandScope running;
    try {
        command();
        return true;
    } catch (const std::exception& e) {
        EmptyProgress(bar);
        if (!(dynamic_cast<const Refusals*>(&e) || ...)) throw;
        ui().message(parent, QString::fromUtf8(e.what()));
        return false;
    } catch (...) {
        EmptyProgress(bar);
        throw;
    }
}

// A QImage that shares nothing with the raster (a copy of its pixels).
QImage ToQImage(const Raster& raster);
// The raster of a QImage, converted to 24 bits.
Raster FromQImage(const QImage& image);

}  // namespace nuvak::platform
