#include "workspace/State1.h"

#include <QGroupBox>
#include <QLabel>

namespace nuvak {

TState::TState(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("State"));
    setFixedSize(280, 90);

    GroupBox1 = new QGroupBox(QStringLiteral("Statement"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 8, 264, 74);

    Label1 = new QLabel(GroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(16, 32, 232, 20);
}

}  // namespace nuvak
