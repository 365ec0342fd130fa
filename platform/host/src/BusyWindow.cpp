#include "sup/host/Dialogs.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QTimer>

namespace sup::host {

namespace {

QStyle::StandardPixmap pictureOf(int kind) {
    switch (kind) {
    case 0:
        return QStyle::SP_DriveNetIcon;
    case 1:
        return QStyle::SP_DialogSaveButton;
    case 2:
        return QStyle::SP_TrashIcon;
    case 6:
        return QStyle::SP_ArrowDown;
    default:
        return QStyle::SP_BrowserReload;
    }
}

constexpr int kWheel = 28; // diameter of the wheel

} // namespace

BusyWindow::BusyWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmAguarde"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kWheel + 28, 14, 18, 14);
    layout->setSpacing(10);
    icon_ = new QLabel(this);
    text_ = new QLabel(this);
    QFont f = text_->font();
    f.setPointSizeF(f.pointSizeF() * 1.1);
    f.setBold(true);
    text_->setFont(f);
    text_->setMinimumWidth(220);
    layout->addWidget(icon_);
    layout->addWidget(text_, 1);
    timer_ = new QTimer(this);
    timer_->setInterval(80);
    connect(timer_, &QTimer::timeout, this, [this] {
        angle_ = (angle_ + 30) % 360;
        update(QRect(12, (height() - kWheel) / 2, kWheel + 2, kWheel + 2));
    });
}

QString BusyWindow::text() const {
    return text_->text();
}

void BusyWindow::showBusy(QWidget* owner, int kind, const QString& text) {
    kind_ = kind;
    text_->setText(text);
    icon_->setPixmap(style()->standardIcon(pictureOf(kind)).pixmap(24, 24));
    adjustSize();
    QRect area;
    if (owner && owner->window()->isVisible())
        area = owner->window()->frameGeometry();
    else if (QScreen* s = QApplication::primaryScreen())
        area = s->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
    show();
    raise();
    timer_->start();
    repaint();
    // Let the window system map and paint the indicator before a synchronous call blocks.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void BusyWindow::hideBusy() {
    timer_->stop();
    hide();
    kind_ = -1;
}

void BusyWindow::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::Mid), 1));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const QRectF wheel(14, (height() - kWheel) / 2.0, kWheel, kWheel);
    const QColor base = palette().color(QPalette::Highlight);
    for (int i = 0; i < 12; ++i) {
        QColor c = base;
        c.setAlphaF(0.15 + 0.85 * double((i + 1) % 12) / 12.0);
        p.save();
        p.translate(wheel.center());
        p.rotate(angle_ + i * 30);
        p.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -kWheel / 2.0 + 2), QPointF(0, -kWheel / 4.0));
        p.restore();
    }
}

} // namespace sup::host
