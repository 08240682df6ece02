#include "workspace/Child.h"

#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QScrollArea>
#include <QVBoxLayout>

#include "platform/controls.h"
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

void TChild::ImageMouseDown(Qt::MouseButton button, int x, int y) { emit mousePressedOnImage(this, button, x, y); }

}  // namespace nuvak
