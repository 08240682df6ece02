#pragma once
// The tracking measurement window: the frame list, the optical parameters, the start of the
// measurement (first-frame preview, star pick, run), and the graph and statistics of how
// the star wandered. It holds the tracking state for the whole run of the program.

#include <optional>

#include <QWidget>

#include "tracking/graph.h"
#include "tracking/measure.h"
#include "tracking/report.h"
#include "tracking/state.h"
#include "tracking/statistics.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace nuvak {

namespace platform {
class Picture;
class UpDown;
}  // namespace platform
class TMainForm;
class TTrackAd;

class TTrack : public QWidget {
    Q_OBJECT
public:
    explicit TTrack(QWidget* parent = nullptr);

    // The windows the start command works with (set at start-up).
    void connectWindows(TMainForm* mainForm, TTrackAd* settings);

    TrackingState state;

    // What the image windows may ask of this one when the user picks a star: whether the start
    // command waits for one (its preview shown); the pick confirmed; and a run on the picked
    // star, started as the start button would, after saying so.
    bool waitingForStar() const { return state.StarPickState == -1; }
    bool starConfirmed() const { return state.StarPickState == 1; }
    void confirmStar() { state.StarPickState = 1; }
    void pickStar();

    platform::Picture* Image1;  // the graph canvas
    QLabel* Label15;            // graph zoom
    QGroupBox* GroupBox1;       // results panel (hidden)
    QLabel* Label16;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label9;
    QLabel* Label17;
    QLabel* Label10;
    QLabel* Label11;
    QLabel* Label12;
    QPushButton* Button3;  // save the results file
    QPushButton* Button8;  // write the tracking report page and open it (full configuration)
    QGroupBox* GroupBox2;  // parameters
    QLabel* Label1;
    QLineEdit* Edit1;  // focal length
    platform::UpDown* UpDown1;
    QLabel* Label4;
    QLabel* Label2;
    QLineEdit* Edit2;  // pixel size
    platform::UpDown* UpDown2;
    QLabel* Label5;
    QLabel* Label3;
    QLineEdit* Edit3;  // frame interval
    platform::UpDown* UpDown3;
    QLabel* Label6;
    QLabel* Label19;
    QLabel* Label13;             // Vx
    QLabel* Label14;             // Vy
    QGroupBox* GroupBox3;        // graph kind (hidden)
    QCheckBox* CheckBox1;        // lines
    QCheckBox* CheckBox2;        // points
    QCheckBox* CheckBox3;        // RMS overlay
    QCheckBox* CheckBox6;        // P-V overlay
    QGroupBox* GroupBox4;        // scale
    QPushButton* Button5;        // graph zoom in
    QPushButton* Button6;        // graph zoom out
    QRadioButton* RadioButton3;  // pixels
    QRadioButton* RadioButton4;  // arc-seconds
    QGroupBox* GroupBox5;        // coordinates
    QRadioButton* RadioButton5;  // X-Y
    QRadioButton* RadioButton6;  // X
    QRadioButton* RadioButton7;  // Y
    QCheckBox* CheckBox4;        // flatten X (hidden)
    QCheckBox* CheckBox5;        // flatten Y (hidden)
    QPushButton* Button7;        // advanced settings (hidden)
    QListWidget* ListBox2;       // full paths (hidden)
    QGroupBox* GroupBox6;        // files
    QLabel* Label18;             // frame count
    QListWidget* ListBox1;       // frame names
    QPushButton* Button1;        // open
    QPushButton* Button2;        // delete
    QPushButton* Button4;        // start
    QProgressBar* ProgressBar1;

    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void ListBox1Click();
    void UpDown1Click();
    void UpDown2Click();
    void UpDown3Click();
    void Edit1Change();
    void Edit2Change();
    void Edit3Change();

    // Recomputes the statistics and the result labels; a parameter out of range shows its
    // message and changes nothing. Returns false then.
    bool RefreshStatistics();
    // Statistics, then the graph drawn anew on Image1.
    void RefreshGraph();
    // The measurement run over the listed frames (the start command with a star picked).
    void RunMeasurementNow();

    TrackingParameters parameters() const;
    GraphOptions graphOptions() const;
    QStringList framePaths() const;

private:
    void paint(const GraphScene& scene);
    void showFirstFramePreview();
    void clearFrameList();
    void placeFullLayout();
    // Until the entries cover the listed frames the labels and the graph stay empty, so that
    // no figure comes from entries an earlier run left behind.
    bool measured() const { return state.measured(); }

    TMainForm* mainForm_ = nullptr;
    MeasureSettings runSettings_;  // the advanced settings the last completed run used
    // The settings of the last run when it stopped at a frame beyond the run's size limit:
    // the report then measures the listed frames itself.
    std::optional<MeasureSettings> tooLargeRun_;
    // The last completed run's records, one per listed frame: its report needs no second reading.
    std::vector<ReportFrame> records_;
    TTrackAd* settings_ = nullptr;
    GraphScene lastScene_;
};

}  // namespace nuvak
