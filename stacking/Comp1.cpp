#include "stacking/Comp1.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "platform/controls.h"

namespace nuvak {

TComposite::TComposite(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TComposite"));
    setWindowTitle(QStringLiteral("コンポジット"));
    setFixedSize(520, 400);

    auto list = [this](const char* name, int x) {
        auto* box = platform::Place(new QListWidget(this), name, x, 28, 180, 230);
        box->setSelectionMode(QAbstractItemView::ExtendedSelection);
        return box;
    };
    Label1 = platform::Place(new QLabel(QStringLiteral("開いている画像"), this), "Label1", 16, 8, 180, 18);
    ListBox1 = list("ListBox1", 16);
    Edit1 = platform::Place(new QLineEdit(QStringLiteral("0"), this), "Edit1", 16, 266, 60, 22);
    Label2 = platform::Place(new QLabel(QStringLiteral("合成する画像"), this), "Label2", 324, 8, 180, 18);
    ListBox2 = list("ListBox2", 324);
    Edit2 = platform::Place(new QLineEdit(QStringLiteral("0"), this), "Edit2", 324, 266, 60, 22);

    Button1 = platform::Place(new QPushButton(QStringLiteral(">>>"), this), "Button1", 216, 60, 88, 25);
    Button2 = platform::Place(new QPushButton(QStringLiteral("<<<"), this), "Button2", 216, 95, 88, 25);
    Button5 = platform::Place(new QPushButton(QStringLiteral("すべて選択"), this), "Button5", 216, 150, 88, 25);
    Button6 = platform::Place(new QPushButton(QStringLiteral("すべて削除"), this), "Button6", 216, 185, 88, 25);

    GroupBox1 = platform::Place(new QGroupBox(QStringLiteral("コンポジット方法"), this), "GroupBox1", 16, 298, 488, 50);
    const QString methods[] = {QStringLiteral("平均"), QStringLiteral("加算"), QStringLiteral("最大値"),
                               QStringLiteral("最小値"), QStringLiteral("期待値")};
    QRadioButton** radios[] = {&RadioButton1, &RadioButton2, &RadioButton3, &RadioButton4, &RadioButton5};
    for (int i = 0; i < 5; ++i) {
        const QByteArray name = "RadioButton" + QByteArray::number(i + 1);
        *radios[i] =
            platform::Place(new QRadioButton(methods[i], GroupBox1), name.constData(), 12 + 94 * i, 20, 88, 20);
    }
    RadioButton1->setChecked(true);

    Button3 = platform::Place(new QPushButton(QStringLiteral("OK"), this), "Button3", 340, 362, 75, 25);
    Button4 = platform::Place(new QPushButton(QStringLiteral("Cancel"), this), "Button4", 428, 362, 75, 25);

    connect(Button1, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button1Click(); }));
    connect(Button2, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button2Click(); }));
    connect(Button5, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button5Click(); }));
    connect(Button6, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button6Click(); }));
    connect(Button3, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button3Click(); }));
    connect(Button4, &QPushButton::clicked, this, platform::GuardedSlot([this] { Button4Click(); }));
}

void TComposite::Prepare(const QStringList& captions) {
    ListBox1->clear();
    ListBox2->clear();
    Edit2->setText(QStringLiteral("0"));
    ListBox1->addItems(captions);
    Edit1->setText(QString::number(captions.size()));
}

bool TComposite::Chosen() const { return QString::compare(Edit2->text(), QStringLiteral("0"), Qt::CaseSensitive) > 0; }

std::vector<std::string> TComposite::ChosenCaptions() const {
    std::vector<std::string> out;
    out.reserve(std::size_t(ListBox2->count()));
    for (int i = 0; i < ListBox2->count(); ++i) out.push_back(ListBox2->item(i)->text().toStdString());
    return out;
}

CompositeMethod TComposite::Method() const {
    const QRadioButton* radios[] = {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5};
    for (int i = 0; i < 5; ++i)
        if (radios[i]->isChecked()) return CompositeMethod(i + 1);
    return CompositeMethod::Average;
}

void TComposite::move(QListWidget* from, QListWidget* to, bool all) {
    QList<int> moved;
    for (int i = 0; i < from->count(); ++i)
        if (all || from->item(i)->isSelected()) moved << i;
    for (int i : moved) to->addItem(from->item(i)->text());
    for (auto i = moved.rbegin(); i != moved.rend(); ++i) delete from->takeItem(*i);
    Edit1->setText(QString::number(ListBox1->count()));
    Edit2->setText(QString::number(ListBox2->count()));
}

void TComposite::Button1Click() { move(ListBox1, ListBox2, false); }

void TComposite::Button2Click() { move(ListBox2, ListBox1, false); }

void TComposite::Button5Click() { move(ListBox1, ListBox2, true); }

void TComposite::Button6Click() { move(ListBox2, ListBox1, true); }

void TComposite::Button3Click() { accept(); }

void TComposite::Button4Click() {
    Edit2->setText(QStringLiteral("0"));
    reject();
}

}  // namespace nuvak
