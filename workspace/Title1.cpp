#include "workspace/Title1.h"

#include <QFont>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "platform/controls.h"

namespace nuvak {

namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 400;

// Top-left corner text, as the version lines are placed.
void WriteText(QPainter& painter, int x, int y, const QString& text) {
    painter.drawText(QPoint(x, y + painter.fontMetrics().ascent()), text);
}

}  // namespace

QImage TTitle::Background() {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0.0, QColor(2, 4, 20));
    sky.setColorAt(1.0, QColor(16, 24, 64));
    painter.fillRect(image.rect(), sky);

    // A fixed scatter of stars: the same picture on every start.
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    unsigned seed = 20240611u;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int i = 0; i < 220; ++i) {
        const int x = int(next() % kWidth);
        const int y = int(next() % kHeight);
        const int brightness = 110 + int(next() % 146);
        const qreal radius = (next() % 16 == 0) ? 1.8 : 0.7;
        painter.setBrush(QColor(brightness, brightness, std::min(255, brightness + 20)));
        painter.drawEllipse(QPointF(x + 0.5, y + 0.5), radius, radius);
    }

    QFont title(QStringLiteral("Sans Serif"));
    title.setPixelSize(72);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(QColor(230, 235, 255));
    painter.drawText(QRect(0, 90, kWidth, 110), Qt::AlignCenter, QStringLiteral("Nuvak"));
    return image;
}

TTitle::TTitle(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setWindowTitle(QStringLiteral("Title"));

    Image1 = new platform::Picture(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, kWidth, kHeight);
    setFixedSize(kWidth, kHeight);

    QImage picture = Background();
    {
        QPainter painter(&picture);
        QFont font(QStringLiteral("Sans Serif"));
        font.setPixelSize(11);
        painter.setFont(font);
        painter.setPen(Qt::white);
        WriteText(painter, 350, 250, QStringLiteral("Ver. 3.01"));
        WriteText(painter, 350, 262, QStringLiteral("Tracking measurement"));
    }
    Image1->setRaster(platform::FromQImage(picture));
    connect(Image1, &platform::Picture::mousePressed, this, [this](Qt::MouseButton button) {
        if (button == Qt::LeftButton) Image1Click();
    });

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(2000);
    connect(Timer1, &QTimer::timeout, this, &TTitle::Timer1Timer);
    Timer1->start();
}

void TTitle::Timer1Timer() {
    Timer1->stop();
    close();
}

void TTitle::Image1Click() { close(); }

void TTitle::showEvent(QShowEvent* event) {
    QRect around;
    if (const QWidget* owner = parentWidget()) {
        around = owner->window()->frameGeometry();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        around = screen->availableGeometry();
    }
    if (around.isValid()) move(around.center() - QPoint(width() / 2, height() / 2));
    // The timer also runs from creation; a window shown later still gets its full time.
    Timer1->start();
    QWidget::showEvent(event);
}

}  // namespace nuvak
