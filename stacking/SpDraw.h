#pragma once
// The spectrum window: the intensity profile of a horizontally spread spectrum, painted on a
// plot area that is never cleared, with the column and row bounds of the last run under it.

#include <QWidget>
#include <vector>

#include "core/graph.h"

class QLabel;
class QLineEdit;

namespace nuvak {

namespace platform {
class Picture;
class UpDown;
}  // namespace platform

class TSpDraw : public QWidget {
    Q_OBJECT
public:
    explicit TSpDraw(QWidget* parent = nullptr);

    platform::Picture* Image1;  // the plot area, kSpectrumPlotWidth x kSpectrumPlotHeight
    QLineEdit* Edit1;           // lower column bound
    platform::UpDown* UpDown1;
    QLabel* Label1;    // "< X <"
    QLineEdit* Edit2;  // upper column bound
    platform::UpDown* UpDown2;
    QLineEdit* Edit3;  // lower row bound
    platform::UpDown* UpDown3;
    QLabel* Label2;    // "< Y <"
    QLineEdit* Edit4;  // upper row bound
    platform::UpDown* UpDown4;

    // The bounds of a picture of width x height: 0 < X < width, 0 < Y < height, in the edits
    // and (as far as their range reaches) the spin controls.
    void ShowBounds(int width, int height);
    // Paints the drawing steps over what the plot area holds.
    void Draw(const std::vector<GraphItem>& items);

public slots:
    // Each spin control's position into its edit.
    void UpDown1Click();
    void UpDown2Click();
    void UpDown3Click();
    void UpDown4Click();
    // Each edit's integer value into its spin control (a text that is no integer is a
    // conversion error); nothing is redrawn.
    void Edit1Change();
    void Edit2Change();
    void Edit3Change();
    void Edit4Change();
};

}  // namespace nuvak
