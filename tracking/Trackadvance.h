#pragma once
// The advanced settings of the tracking measurement: dark frames, noise cut, PSF radius,
// focal-length multiplier and the designated star. Its fields hold the settings themselves;
// the measurement reads them when it runs and the star pick writes into them.

#include <QDialog>

#include "tracking/measure.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace nuvak {

struct TrackingState;

class TTrackAd : public QDialog {
    Q_OBJECT
public:
    explicit TTrackAd(QWidget* parent = nullptr);

    // The tracking state whose star pick this window can return to idle.
    void setTrackingState(TrackingState* state) { state_ = state; }

    QCheckBox* CheckBox1;   // dark processing
    QPushButton* Button1;   // choose dark frames
    QListWidget* ListBox1;  // full paths of the dark frames
    QLabel* Label1;
    QLineEdit* Edit2;  // focal-length multiplier
    QLabel* Label2;
    QLineEdit* Edit1;      // PSF radius
    QCheckBox* CheckBox3;  // noise cut
    QGroupBox* GroupBox1;  // star designation
    QCheckBox* CheckBox2;  // star specified
    QLabel* Label3;
    QLineEdit* Edit3;  // star x
    QLabel* Label4;
    QLineEdit* Edit4;  // star y
    QLabel* Label5;
    QLineEdit* Edit5;      // search range
    QPushButton* Button2;  // close with checks

    void Button1Click();
    void CheckBox1Click();
    void CheckBox2Click();
    void Button2Click();

    // The settings as the measurement uses them (throws ConversionError for a text that is
    // not a number).
    MeasureSettings settings() const;

    // What the image windows may ask of this one when the user picks a star: the picked
    // position into the star fields, star designation on, and the search range and PSF radius
    // as the fields hold them (ConversionError for a text that is not a number).
    void setStar(int x, int y);
    void specifyStar();
    int searchRange() const;
    int psfRadius() const;

private:
    TrackingState* state_ = nullptr;
};

}  // namespace nuvak
