#include "workspace/Child.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cstdlib>

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
    : Image(new platform::Picture),
      mainForm_(mainForm),
      scroll_(new QScrollArea(this)),
      document_(std::move(document)) {
    setObjectName(QStringLiteral("Child"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromStdString(document_.caption));
    Image->setObjectName(QStringLiteral("Image"));
    Image->setCursor(Qt::CrossCursor);
    // The picture keeps its size (the zoomed image size); a smaller window shows scroll bars.
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(false);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->setWidget(Image);
    // A picture smaller than the scroll bars still gets a window no larger than its caption
    // bar needs.
    scroll_->setMinimumSize(1, 1);
    scroll_->setBackgroundRole(QPalette::Dark);
    scroll_->viewport()->installEventFilter(this);
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
        // The frame's borders and title stay as they are; the client area takes the picture's
        // size. A frame never gets smaller than its caption bar with the buttons needs: a
        // smaller picture sits in the top-left corner of the client area.
        frame->resize((frame->size() - size() + Image->size()).expandedTo(frame->minimumSizeHint()));
    } else {
        resize(Image->size());
    }
}

void TChild::keepCaptionInView() {
    auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget());
    QMdiArea* area = frame ? frame->mdiArea() : nullptr;
    // A workspace not shown yet places its windows itself when it is shown.
    if (!area || !area->isVisible()) return;
    // Frame positions are in the workspace's viewport: (0, 0) is its visible top-left
    // whatever the workspace is scrolled to.
    const QSize visible = area->viewport()->size();
    QPoint at = frame->pos();
    if (at.x() < 0 || at.x() >= visible.width()) at.setX(0);
    if (at.y() < 0 || at.y() >= visible.height()) at.setY(0);
    if (at != frame->pos()) frame->move(at);
}

bool TChild::eventFilter(QObject* watched, QEvent* event) {
    if (watched != scroll_->viewport() || event->type() != QEvent::Wheel) return QWidget::eventFilter(watched, event);
    auto* wheel = static_cast<QWheelEvent*>(event);
    const QPoint delta = wheel->angleDelta();
    const bool across = std::abs(delta.x()) > std::abs(delta.y());
    const QScrollBar* own = across ? scroll_->horizontalScrollBar() : scroll_->verticalScrollBar();
    if (own->maximum() > own->minimum()) return false;  // the picture scrolls: the scroll area takes it
    auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget());
    QMdiArea* area = frame ? frame->mdiArea() : nullptr;
    if (!area) return false;
    QCoreApplication::sendEvent(across ? area->horizontalScrollBar() : area->verticalScrollBar(), wheel);
    return true;
}

void TChild::FormActivate() { mainForm_->showZoom(QString::fromStdString(ZoomPercentText(document_.ZomN))); }

void TChild::ImageMouseMove(int x, int y) {
    if (const auto text = ReadoutText(document_, x, y)) mainForm_->showReadout(this, QString::fromStdString(*text));
}

void TChild::ImageMouseDown(Qt::MouseButton button, int shownX, int shownY) {
    emit mousePressedOnImage(this, button, shownX, shownY);
    TTrack* track = mainForm_->trackWindow;
    TTrackAd* settings = mainForm_->trackAdWindow;
    if (!track || !settings) return;
    if (button == Qt::LeftButton) {
        // The star is where the user clicked on the picture, whatever the zoom: the marks,
        // the stored position and the measurement are all in picture pixels.
        const auto [px, py] = ShownToPicture(document_.ZomN, shownX, shownY);
        const int x = px, y = py;
        settings->setStar(x, y);
        // A No restores this copy of the display.
        const Raster before = document_.Image;
        const int h = settings->searchRange();
        DrawSearchSquare(document_.Image, x, y, h, kMarkerCyan);
        const int r = settings->psfRadius();
        drawCircle(x, y, r);
        refreshDisplay();
        mainForm_->enableZoomButtons(true);
        if (track->waitingForStar()) {
            const QString question = QString::fromStdString(FillMessage(msg::kTrackStarQuestion, x, y));
            if (!platform::ui().confirm(this, question)) {
                document_.Image = before;
                refreshDisplay();
                return;
            }
            track->confirmStar();
        }
    }
    if (track->starConfirmed()) {
        settings->specifyStar();
        track->pickStar();
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
