// TForm4: layout of the help window and its click-to-hide picture.
#include "help/help_window.h"

#include "help/clickable_picture.h"
#include "help/pictures.h"

#include <QFont>
#include <QPalette>
#include <QString>

namespace velmora {

namespace {

// The picture control is a little larger than the picture it holds; the
// uncovered strip on the right and at the bottom shows the face colour.
constexpr int kPictureWidth = 633;
constexpr int kPictureHeight = 505;

} // namespace

TForm4::TForm4(QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Help"));
    QFont face(QStringLiteral("MS Sans Serif"));
    face.setPointSize(8);
    setFont(face);
    // Face colour of buttons behind the picture.
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    Image1 = new ClickablePicture(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, kPictureWidth, kPictureHeight);
    Image1->setPixmap(HelpPicture());
    Image1->onClick = [this] { Image1Click(); };

    // The window is sized to its content and keeps that size.
    setFixedSize(kPictureWidth, kPictureHeight);
    move(210, 109);
}

// Closing only hides: nothing asks for deletion on close.
void TForm4::Image1Click() {
    close();
}

} // namespace velmora
