#pragma once
// The main window: the frame of the image windows, with the menus, the tool bar (file
// buttons, zoom, display levels, readout) and the status strip (progress, memory gauge).

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>

#include "core/document.h"
#include "core/progress.h"

class QAction;
class QLabel;
class QLineEdit;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;

namespace nuvak {

namespace platform {
class UpDown;
}
class TBLUR;
class TChild;
class TComaCorrect;
class TComposite;
class TAdvance;
class TMscomp;
class TRGBComp;
class TSpDraw;
class TGMCPanel;
class TGMM;
class TSabachie;
class TTrack;
class TTrackAd;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // The active image window, or nullptr.
    TChild* activeChild() const;
    // Every image window, in the order they were opened.
    QList<TChild*> children() const;
    // Creates an image window for a filled document, shows it and makes it active.
    TChild* addChild(ImageDocument document);
    QMdiArea* mdiArea() const { return mdi_; }
    // Shows the pixel readout of child's picture in Label2; when that window closes, the
    // readout goes back to its start text.
    void showReadout(const TChild* child, const QString& text);
    // What other windows may ask of this one: a new image window shown at 100 % with its levels
    // in the level fields; the zoom field's text; the zoom buttons on or off.
    TChild* showDocument(ImageDocument document);
    void showZoom(const QString& text);
    void enableZoomButtons(bool on);

    // The long-lived windows the menu commands show (set at start-up).
    TTrack* trackWindow = nullptr;
    TTrackAd* trackAdWindow = nullptr;
    TRGBComp* rgbWindow = nullptr;
    TAdvance* advanceWindow = nullptr;
    TComposite* compositeWindow = nullptr;
    TMscomp* mosaicWindow = nullptr;
    TSpDraw* spectrumWindow = nullptr;
    QWidget* helpWindow = nullptr;  // THLP
    TGMM* gammaWindow = nullptr;
    TBLUR* blurWindow = nullptr;
    TSabachie* sabattierWindow = nullptr;
    TComaCorrect* comaWindow = nullptr;
    TGMCPanel* gmcWindow = nullptr;

    // Tool bar.
    QWidget* SpeedBar;
    QToolButton* OpenButton;
    QToolButton* SaveButton;
    QPushButton* Button1;  // "+"
    QPushButton* Button2;  // "-"
    QLineEdit* Edit1;      // zoom
    QPushButton* Button3;  // "H"
    QPushButton* Button4;  // "L"
    QLabel* Label5;
    QLineEdit* Edit3;  // lower level
    platform::UpDown* UpDown2;
    QLabel* Label6;
    QLineEdit* Edit2;  // upper level
    platform::UpDown* UpDown1;
    QLabel* Label2;  // readout
    QLabel* Label1;
    // Status strip.
    QWidget* Panel1;
    QProgressBar* ProgressBar1;
    QLabel* Label4;
    QProgressBar* ProgressBar2;
    QLabel* Label3;
    QLabel* Label7;
    QLabel* Label8;
    QTimer* Timer1;
    // Menus.
    QMenu* File1;
    QMenu* E1;
    QMenu* P2;
    QMenu* K1;
    QMenu* Window1;
    QMenu* Help1;
    QAction* Open1;
    QAction* Save1;
    QAction* Exit1;
    QAction* P3;
    QAction* T3;
    QAction* A1;
    QAction* V1;
    QAction* OstrelH1;

    // Commands.
    void Open1Click();
    void SaveButtonClick();
    void Save1Click() { SaveButtonClick(); }
    void Exit1Click();
    void A1Click();
    void V1Click();
    void T3Click();
    void RGB1Click();
    void OstrelH1Click();
    void Timer1Timer();
    void Button1Click();
    void Button2Click();
    void Edit2Change();
    void Edit3Change();
    void UpDown1Click();
    void UpDown2Click();
    void Button33Click();
    void Button44Click();
    // Image editing and image processing.
    void M1Click();
    void R1Click();
    void R3Click();
    void N4Click();
    void H1Click();
    void L1Click();
    void N6Click();
    void N7Click();
    void N8Click();
    void N5Click();
    void N9Click();
    void P1Click();
    void RGB2Click();
    void C1Click();
    void M2Click();
    void P3Click();

    // The open dialog's and save dialog's filter index, kept between uses.
    int openFilterIndex = 1;
    int saveFilterIndex = 1;

protected:
    // A close while a long command runs is ignored and made again when the command ends.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildToolBar();
    void buildStatusStrip();
    void subWindowActivated(QMdiSubWindow* window);
    void zoomTo(TChild* child, double z);
    void applyStoredLevel(bool upper);
    void brightnessStep(bool raise);
    void setLevelFields(int max, int min);
    // Runs an image command on the active window, with ProgressBar1 as its progress, then
    // shows the window's pictures again; nothing without an active window. A refused command
    // (ImageError) shows its message and leaves the window as it was.
    void runImageCommand(const std::function<void(ImageDocument&, Progress&)>& command);

    QMdiArea* mdi_;
    // The window whose pixel the readout shows; only compared, and cleared as it closes.
    const TChild* readoutChild_ = nullptr;
};

// The wording of the version message.
QString VersionMessage();

}  // namespace nuvak
