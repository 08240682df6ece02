#include "platform/controls.h"

#include <QCoreApplication>
#include <QList>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/services.h"

namespace nuvak::platform {

UpDown::UpDown(QWidget* parent) : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    up_->setObjectName(QStringLiteral("up"));
    down_->setObjectName(QStringLiteral("down"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(up_);
    layout->addWidget(down_);
    for (QToolButton* b : {up_, down_}) b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    connect(up_, &QToolButton::clicked, this, [this] { press(Button::Up); });
    connect(down_, &QToolButton::clicked, this, [this] { press(Button::Down); });
}

void UpDown::setRange(int min, int max) {
    min_ = min;
    max_ = max;
    setPosition(position_);
}

void UpDown::setPosition(int position) { position_ = std::clamp(position, min_, std::max(min_, max_)); }

void UpDown::press(Button button) {
    const long long next = (long long)position_ + (button == Button::Up ? increment_ : -increment_);
    setPosition(int(std::clamp<long long>(next, min_, std::max(min_, max_))));
    emit clicked(button);
}

Picture::Picture(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Picture::setRaster(Raster raster) {
    raster_ = std::move(raster);
    update();
}

void Picture::changed() { update(); }

void Picture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (raster_.empty()) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    // A view of the raster's rows, without a copy; painted without smoothing.
    const QImage view(raster_.bytes.data(), raster_.width, raster_.height, qsizetype(raster_.stride()),
                      QImage::Format_BGR888);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(rect(), view);
}

void Picture::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Guarded([&] { emit mouseMoved(p.x(), p.y()); });
}

void Picture::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Guarded([&] { emit mousePressed(event->button(), p.x(), p.y()); });
}

Gauge::Gauge(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Gauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect outer = rect();
    painter.fillRect(outer, palette().base());
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(outer.adjusted(0, 0, -1, -1));
    const QRect inner = outer.adjusted(1, 1, -1, -1);
    const long long span = (long long)maximum() - minimum();
    if (span <= 0 || inner.isEmpty()) return;
    // A reset bar holds minimum - 1: it shows empty.
    const long long done = std::clamp<long long>((long long)value() - minimum(), 0, span);
    const int filled = int(done * inner.width() / span);
    painter.fillRect(QRect(inner.left(), inner.top(), filled, inner.height()), palette().highlight());
}

QImage ToQImage(const Raster& raster) {
    QImage image(raster.width, raster.height, QImage::Format_BGR888);
    for (int y = 0; y < raster.height; ++y) std::memcpy(image.scanLine(y), raster.row(y), raster.stride());
    return image;
}

Raster FromQImage(const QImage& image) {
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    Raster r(bgr.width(), bgr.height());
    for (int y = 0; y < r.height; ++y) std::memcpy(r.row(y), bgr.constScanLine(y), r.stride());
    return r;
}

namespace {
// Main thread only: the long commands running, and the windows whose close waits for them.
int runningCommands = 0;
QList<QPointer<QWidget>>& closesWaiting() {
    static QList<QPointer<QWidget>> windows;
    return windows;
}
}  // namespace

LongCommandScope::LongCommandScope() { ++runningCommands; }

LongCommandScope::~LongCommandScope() {
    if (--runningCommands > 0) return;
    const QList<QPointer<QWidget>> windows = std::exchange(closesWaiting(), {});
    for (const QPointer<QWidget>& w : windows)
        if (w)
            QMetaObject::invokeMethod(
                w.data(),
                [w] {
                    if (w) w->close();
                },
                Qt::QueuedConnection);
}

bool LongCommandRunning() { return runningCommands > 0; }

bool DeferCloseWhileRunning(QWidget* window) {
    if (runningCommands == 0) return false;
    if (!closesWaiting().contains(window)) closesWaiting().append(window);
    return true;
}

void EmptyProgress(QProgressBar* bar) {
    bar->setRange(0, 100);
    bar->setValue(0);
}

void BarProgress::setMaximum(int n) {
    if (n > 0) {
        bar_->setMaximum(n);
    } else {
        EmptyProgress(bar_);
    }
}

void BarProgress::setPosition(int position) {
    if (bar_->value() == position) return;
    bar_->setValue(std::clamp(position, bar_->minimum(), bar_->maximum()));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace nuvak::platform
