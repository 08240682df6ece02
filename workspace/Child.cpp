#include "workspace/Child.h"

#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QCheckBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "core/format.h"
#include "platform/controls.h"
#include "platform/services.h"
#include "resources/messages.h"
#include "tracking/Trackadvance.h"
#include "tracking/Tracking.h"
#include "tracking/marker.h"
#include "workspace/Morvel2.h"
#include "workspace/viewing.h"

namespace nuvak {

TChild::TChild(TMainForm* mainForm, ImageDocument document)
    : Image(new platform::Picture), mainForm_(mainForm), scroll_(new QScrollArea(this)), document_(std::move(document)) {
    setObjectName(QStringLiteral("Child"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromStdString(document_.caption));
    Image->setObjectName(QStringLiteral("Image"));
    Image->setCursor(Qt::CrossCursor);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidget(Image);
    scroll_->setBackgroundRole(QPalette::Dark);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll_);
    connect(Image, &platform::Picture::mouseMoved, this, [this](int x, int y) { ImageMouseMove(x, y); });
    connect(Image, &platform::Picture::mousePressed, this,
            [this](Qt::MouseButton b, int x, int y) { ImageMouseDown(b, x, y); });
    Image->setRaster(document_.Image);
    sizePictureToZoom();
    resize(Image->size());
}

void TChild::refreshDisplay() {
    Image->setRaster(document_.Image);
    setWindowTitle(QString::fromStdString(document_.caption));
}

void TChild::sizePictureToZoom() {
    const double z = document_.ZomN;
    Image->resize(int(document_.DemX * z), int(document_.DemY * z));
}

void TChild::fitToContent() {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) {
        // The frame's borders and title stay as they are; the client area takes the picture's size.
        frame->resize(frame->size() - size() + Image->size());
    } else {
        resize(Image->size());
    }
}

void TChild::FormActivate() { mainForm_->Edit1->setText(QString::fromStdString(ZoomPercentText(document_.ZomN))); }

void TChild::ImageMouseMove(int x, int y) {
    if (const auto text = ReadoutText(document_, x, y)) mainForm_->Label2->setText(QString::fromStdString(*text));
}

void TChild::ImageMouseDown(Qt::MouseButton button, int x, int y) {
    emit mousePressedOnImage(this, button, x, y);
    TTrack* track = mainForm_->trackWindow;
    TTrackAd* settings = mainForm_->trackAdWindow;
    if (!track || !settings) return;
    TrackingState& state = track->state;
    if (button == Qt::LeftButton) {
        settings->Edit3->setText(QString::number(x));
        settings->Edit4->setText(QString::number(y));
        // The marks go on the display at the position as shown; a No restores this copy.
        const Raster before = document_.Image;
        const int h = ParseInt(settings->Edit5->text().toStdString());
        DrawSearchSquare(document_.Image, x, y, h, kMarkerCyan);
        const int r = ParseInt(settings->Edit1->text().toStdString());
        drawCircle(x, y, r);
        refreshDisplay();
        mainForm_->Button1->setEnabled(true);
        mainForm_->Button2->setEnabled(true);
        if (state.StarPickState == -1) {
            const QString question = QString::fromStdString(FillMessage(msg::kTrackStarQuestion, x, y));
            if (!platform::ui().confirm(this, question)) {
                document_.Image = before;
                refreshDisplay();
                return;
            }
            state.StarPickState = 1;
        }
    }
    if (state.StarPickState == 1) {
        settings->CheckBox2->setChecked(true);
        track->show();
        platform::ui().message(track, QString::fromUtf8(msg::kTrackStarting));
        track->Button4Click();
    }
}

void TChild::drawCircle(int x, int y, int r) {
    Raster& raster = document_.Image;
    if (raster.empty()) return;
    QImage view(raster.bytes.data(), raster.width, raster.height, qsizetype(raster.stride()), QImage::Format_BGR888);
    QPainter painter(&view);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(0, 255, 255), 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(x - r, y - r, 2.0 * r - 1, 2.0 * r - 1));
}

}  // namespace nuvak
