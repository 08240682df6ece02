#pragma once
// An image window: shows one image document, at its zoom, in the main window's frame. A
// picture larger than the window scrolls inside it.

#include <QWidget>

#include "core/document.h"

class QScrollArea;

namespace nuvak {

namespace platform {
class Picture;
}
class TMainForm;

class TChild : public QWidget {
    Q_OBJECT
public:
    TChild(TMainForm* mainForm, ImageDocument document);

    ImageDocument& document() { return document_; }
    const ImageDocument& document() const { return document_; }

    // The display picture (the document's Image) as shown, stretched to the zoom.
    platform::Picture* Image;

    // Shows the document's display raster again after a command changed it.
    void refreshDisplay();
    // Sizes the picture to the image size times the zoom.
    void sizePictureToZoom();
    // Makes the frame window's client area exactly the picture's size.
    void fitToContent();
    // Moves the frame window so that its top-left corner, and so its caption bar, lies in the
    // workspace's visible area; a frame already there stays where it is.
    void keepCaptionInView();

    // The window became the active child: the main window's zoom field follows it.
    void FormActivate();
    // Pixel readout of the mouse position on the picture.
    void ImageMouseMove(int x, int y);
    // A mouse button pressed at (shownX, shownY) of the picture as shown at its zoom; the star
    // pick of the tracking measurement attaches here and works in picture pixels.
    void ImageMouseDown(Qt::MouseButton button, int shownX, int shownY);

signals:
    void mousePressedOnImage(nuvak::TChild* child, Qt::MouseButton button, int x, int y);

protected:
    // The wheel over a picture that does not scroll that way scrolls the workspace instead.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The star pick's circle on the display raster.
    void drawCircle(int x, int y, int r);

    TMainForm* mainForm_;
    QScrollArea* scroll_;
    ImageDocument document_;
};

}  // namespace nuvak
