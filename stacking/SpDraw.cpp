#include "stacking/SpDraw.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

#include "core/format.h"
#include "platform/controls.h"
#include "stacking/spectrum.h"

namespace nuvak {

namespace {

constexpr int kSpinLargest = 8000;

}  // namespace

TSpDraw::TSpDraw(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("TSpDraw"));
    setWindowTitle(QStringLiteral("Spectrum"));
    // Room for the 513 x 393 plot and the row of bound fields under it.
    setFixedSize(530, 450);

    Image1 = platform::Place(new platform::Picture(this), "Image1", 8, 8, kSpectrumPlotWidth, kSpectrumPlotHeight);
    Image1->setRaster(Raster(kSpectrumPlotWidth, kSpectrumPlotHeight));

    auto edit = [this](const char* name, int x) {
        return platform::Place(new QLineEdit(QStringLiteral("0"), this), name, x, 412, 56, 22);
    };
    auto spin = [this](const char* name, int x) {
        auto* u = platform::Place(new platform::UpDown(this), name, x, 410, 15, 26);
        u->setRange(0, kSpinLargest);
        return u;
    };
    Edit1 = edit("Edit1", 8);
    UpDown1 = spin("UpDown1", 64);
    Label1 = platform::Place(new QLabel(QStringLiteral("< X <"), this), "Label1", 86, 415, 40, 18);
    Edit2 = edit("Edit2", 126);
    UpDown2 = spin("UpDown2", 182);
    Edit3 = edit("Edit3", 270);
    UpDown3 = spin("UpDown3", 326);
    Label2 = platform::Place(new QLabel(QStringLiteral("< Y <"), this), "Label2", 348, 415, 40, 18);
    Edit4 = edit("Edit4", 388);
    UpDown4 = spin("UpDown4", 444);

    connect(UpDown1, &platform::UpDown::clicked, this, platform::GuardedSlot([this] { UpDown1Click(); }));
    connect(UpDown2, &platform::UpDown::clicked, this, platform::GuardedSlot([this] { UpDown2Click(); }));
    connect(UpDown3, &platform::UpDown::clicked, this, platform::GuardedSlot([this] { UpDown3Click(); }));
    connect(UpDown4, &platform::UpDown::clicked, this, platform::GuardedSlot([this] { UpDown4Click(); }));
    connect(Edit1, &QLineEdit::textChanged, this, platform::GuardedSlot([this] { Edit1Change(); }));
    connect(Edit2, &QLineEdit::textChanged, this, platform::GuardedSlot([this] { Edit2Change(); }));
    connect(Edit3, &QLineEdit::textChanged, this, platform::GuardedSlot([this] { Edit3Change(); }));
    connect(Edit4, &QLineEdit::textChanged, this, platform::GuardedSlot([this] { Edit4Change(); }));
}

void TSpDraw::ShowBounds(int width, int height) {
    Edit1->setText(QStringLiteral("0"));
    Edit2->setText(QString::number(width));
    Edit3->setText(QStringLiteral("0"));
    Edit4->setText(QString::number(height));
    UpDown1->setPosition(0);
    UpDown2->setPosition(width);
    UpDown3->setPosition(0);
    UpDown4->setPosition(height);
}

void TSpDraw::Draw(const std::vector<GraphItem>& items) {
    QImage image = platform::ToQImage(Image1->raster()).convertToFormat(QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (const GraphItem& item : items) {
        // The plot is made of lines only.
        if (item.type != GraphItem::Type::Line) continue;
        QPen pen(QColor(int((item.colour >> 16) & 0xFF), int((item.colour >> 8) & 0xFF), int(item.colour & 0xFF)));
        pen.setWidth(item.penWidth);
        p.setPen(pen);
        p.drawLine(item.x1, item.y1, item.x2, item.y2);
    }
    p.end();
    Image1->setRaster(platform::FromQImage(image));
}

void TSpDraw::UpDown1Click() { Edit1->setText(QString::number(UpDown1->position())); }
void TSpDraw::UpDown2Click() { Edit2->setText(QString::number(UpDown2->position())); }
void TSpDraw::UpDown3Click() { Edit3->setText(QString::number(UpDown3->position())); }
void TSpDraw::UpDown4Click() { Edit4->setText(QString::number(UpDown4->position())); }

void TSpDraw::Edit1Change() { UpDown1->setPosition(ParseInt(Edit1->text().toStdString())); }
void TSpDraw::Edit2Change() { UpDown2->setPosition(ParseInt(Edit2->text().toStdString())); }
void TSpDraw::Edit3Change() { UpDown3->setPosition(ParseInt(Edit3->text().toStdString())); }
void TSpDraw::Edit4Change() { UpDown4->setPosition(ParseInt(Edit4->text().toStdString())); }

}  // namespace nuvak
