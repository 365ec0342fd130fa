#include "sup/widgetkit/Controls.h"

#include "sup/data/DayNumber.h"
#include "sup/widgetkit/Messages.h"

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextCharFormat>
#include <QTimer>

#include <cmath>

namespace sup::host {

// --- TButtonFlat -----------------------------------------------------------------------------

TButtonFlat::TButtonFlat(QWidget* parent, const QString& name)
    : QToolButton(parent) {
    setObjectName(name);
    setAutoRaise(true);
    setFocusPolicy(Qt::TabFocus);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setIconSize(QSize(20, 20));
}

void TButtonFlat::setCaption(const QString& caption) {
    setText(caption);
    setToolButtonStyle(icon().isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonTextBesideIcon);
}

void TButtonFlat::mirror(QAction* item) {
    QObject::disconnect(mirrorConn_);
    item_ = item;
    if (!item)
        return;
    setEnabled(item->isEnabled());
    mirrorConn_ =
        connect(item, &QAction::changed, this, [this] { setEnabled(item_ && item_->isEnabled()); });
}

void TButtonFlat::bindToMenuItem(QAction* item) {
    mirror(item);
    QObject::disconnect(clickConn_);
    if (item)
        clickConn_ = connect(this, &QToolButton::clicked, this, [this] {
            if (item_ && item_->isEnabled())
                item_->trigger();
        });
}

// --- TMaskEdit -------------------------------------------------------------------------------

TMaskEdit::TMaskEdit(QWidget* parent, const QString& name)
    : QLineEdit(parent) {
    setObjectName(name);
}

void TMaskEdit::setEditMask(const QString& editMask) {
    const QString stored = Text();
    maskText_ = editMask;
    mask_ = TEditMask(editMask);
    setInputMask(mask_.qtInputMask());
    if (!stored.isEmpty())
        SetText(stored);
}

QString TMaskEdit::Text() const {
    if (mask_.isEmpty())
        return text();
    return mask_.storedText(displayText());
}

void TMaskEdit::SetText(const QString& value) {
    if (mask_.isEmpty()) {
        setText(value);
        return;
    }
    const TEditMask::Fit fit = mask_.fit(value);
    setText(fit.fits ? fit.display : value);
}

int TMaskEdit::firstEmptyPlace() const {
    const QString shown = displayText();
    const QList<TEditMask::Slot>& places = mask_.places();
    for (int i = 0; i < int(places.size()) && i < shown.size(); ++i)
        if (places[i].kind != TEditMask::SlotKind::Literal && shown[i] == mask_.blank())
            return i;
    return int(places.size());
}

void TMaskEdit::mouseReleaseEvent(QMouseEvent* event) {
    QLineEdit::mouseReleaseEvent(event);
    if (mask_.isEmpty() || hasSelectedText())
        return;
    const int first = firstEmptyPlace();
    if (cursorPosition() > first)
        setCursorPosition(first);
}

// --- TDateEditPlus ---------------------------------------------------------------------------

namespace {

const QString kDateFormat = QStringLiteral("dd/MM/yyyy");

QStringList defaultWeekDays() {
    return {QStringLiteral("Domingo"),      QStringLiteral("Segunda-feira"),
            QStringLiteral("Terça-feira"),  QStringLiteral("Quarta-feira"),
            QStringLiteral("Quinta-feira"), QStringLiteral("Sexta-feira"),
            QStringLiteral("Sábado")};
}

} // namespace

TDateEditPlus::TDateEditPlus(QWidget* parent, const QString& name)
    : QLineEdit(parent)
    , weekDays_(defaultWeekDays()) {
    setObjectName(name);
    setInputMask(QStringLiteral("99/99/9999;_"));
    setToolTip(
        QStringLiteral("Data (dd/mm/aaaa). F4: calendário; + e -: um dia a mais ou a menos"));
    connect(this, &QLineEdit::textChanged, this, [this] { updateLook(); });
    updateLook();
}

QString TDateEditPlus::Text() const {
    return IsEmpty() ? QString() : displayText();
}

bool TDateEditPlus::IsEmpty() const {
    for (QChar c : displayText())
        if (c.isDigit())
            return false;
    return true;
}

QDate TDateEditPlus::Date() const {
    if (IsEmpty())
        return {};
    return QDate::fromString(displayText(), kDateFormat);
}

bool TDateEditPlus::isValidDate() const {
    return Date().isValid();
}

void TDateEditPlus::CheckValidDate() const {
    if (IsEmpty() || isValidDate())
        return;
    throw EHostError(QStringLiteral("\"%1\" não é uma data válida.").arg(displayText()));
}

void TDateEditPlus::CheckValidDateOnExit() {
    if (IsEmpty() || isValidDate())
        return;
    setFocus(Qt::OtherFocusReason);
    // Selected once the focus change that ran this check is over (leaving deselects).
    QTimer::singleShot(0, this, [this] {
        if (hasFocus())
            selectAll();
    });
    CheckValidDate();
}

double TDateEditPlus::GetDate() const {
    if (IsEmpty())
        return 0.0;
    CheckValidDate();
    return sup::data::toDayNumber(Date());
}

void TDateEditPlus::SetDate(double day) {
    if (day == 0.0 || !std::isfinite(day)) {
        Clear();
        return;
    }
    setDate(sup::data::dateFromDayNumber(day));
}

void TDateEditPlus::setDate(const QDate& date) {
    if (!date.isValid()) {
        Clear();
        return;
    }
    setText(date.toString(kDateFormat));
}

void TDateEditPlus::Clear() {
    setText(QString());
    setCursorPosition(0);
}

void TDateEditPlus::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (IsEmpty()) // typing starts at the day, wherever the click or the tab landed
        QMetaObject::invokeMethod(
            this, [this] { setCursorPosition(0); }, Qt::QueuedConnection);
}

void TDateEditPlus::setWeekDayNames(const QStringList& names) {
    if (names.size() == 7)
        weekDays_ = names;
    updateLook();
}

void TDateEditPlus::setShowWeekDay(bool on) {
    showWeekDay_ = on;
    updateLook();
}

void TDateEditPlus::setValidColor(const QColor& color) {
    validColor_ = color;
    updateLook();
}

void TDateEditPlus::updateLook() {
    int margin = 0;
    if (showWeekDay_) {
        const QFontMetrics fm(font());
        for (const QString& n : weekDays_)
            margin = std::max(margin, fm.horizontalAdvance(n));
        margin += 8;
    }
    setTextMargins(0, 0, margin, 0);
    QPalette p = palette();
    const QColor normal = QApplication::palette(this).color(QPalette::Text);
    p.setColor(QPalette::Text, validColor_.isValid() && isValidDate() ? validColor_ : normal);
    setPalette(p);
    update();
}

void TDateEditPlus::paintEvent(QPaintEvent* event) {
    QLineEdit::paintEvent(event);
    if (!showWeekDay_)
        return;
    const QDate d = Date();
    if (!d.isValid())
        return;
    QPainter painter(this);
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect r = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    painter.drawText(r.adjusted(0, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter,
                     weekDays_.at(d.dayOfWeek() % 7));
}

void TDateEditPlus::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_F4 || (key == Qt::Key_Down && (event->modifiers() & Qt::AltModifier))) {
        showCalendar();
        return;
    }
    if ((key == Qt::Key_Plus || key == Qt::Key_Minus) && !isReadOnly()) {
        const QDate base = isValidDate() ? Date() : QDate::currentDate();
        setDate(IsEmpty() ? base : base.addDays(key == Qt::Key_Plus ? 1 : -1));
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TDateEditPlus::showCalendar() {
    if (isReadOnly() || !isEnabled())
        return;
    if (!calendar_) {
        calendar_ = new QCalendarWidget(this);
        calendar_->setWindowFlags(Qt::Popup);
        calendar_->setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
        calendar_->setFirstDayOfWeek(Qt::Sunday);
        calendar_->setGridVisible(true);
        calendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
        connect(calendar_, &QCalendarWidget::activated, this, [this](QDate d) {
            setDate(d);
            calendar_->hide();
            setFocus(Qt::OtherFocusReason);
        });
        connect(calendar_, &QCalendarWidget::clicked, this, [this](QDate d) {
            setDate(d);
            calendar_->hide();
        });
    }
    calendar_->setSelectedDate(isValidDate() ? Date() : QDate::currentDate());
    QPoint at = mapToGlobal(QPoint(0, height()));
    calendar_->adjustSize();
    if (QScreen* s = screen()) {
        const QRect avail = s->availableGeometry();
        if (at.y() + calendar_->height() > avail.bottom())
            at.setY(mapToGlobal(QPoint(0, 0)).y() - calendar_->height());
        at.setX(std::min(at.x(), avail.right() - calendar_->width()));
    }
    calendar_->move(at);
    calendar_->show();
    calendar_->setFocus(Qt::PopupFocusReason);
}

// --- TNumberEdit -----------------------------------------------------------------------------

TNumberEdit::TNumberEdit(QWidget* parent, const QString& name)
    : QLineEdit(parent) {
    setObjectName(name);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setDecimals(2);
}

void TNumberEdit::setDecimals(int decimals) {
    decimals_ = std::clamp(decimals, 0, 10);
    const QString pattern = decimals_ > 0
                                ? QStringLiteral("-?\\d{0,15}(,\\d{0,%1})?").arg(decimals_)
                                : QStringLiteral("-?\\d{0,15}");
    setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), this));
}

double TNumberEdit::GetNumber() const {
    QString t = text().trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok ? v : 0.0;
}

void TNumberEdit::SetNumber(double value) {
    if (!std::isfinite(value))
        value = 0.0;
    if (!allowNegative_ && value < 0)
        value = 0.0;
    QString t = QString::number(value, 'f', decimals_);
    t.replace(QLatin1Char('.'), QLatin1Char(','));
    setText(t);
}

void TNumberEdit::focusOutEvent(QFocusEvent* event) {
    if (!text().trimmed().isEmpty() && text() != QLatin1String("-")) {
        // Only the form changes ("5" -> "5,00"): no change handler runs for it.
        const QSignalBlocker blocker(this);
        SetNumber(GetNumber());
    }
    QLineEdit::focusOutEvent(event);
}

void TNumberEdit::keyPressEvent(QKeyEvent* event) {
    if (event->text() == QLatin1String(".") && decimals_ > 0) {
        QKeyEvent comma(QEvent::KeyPress, Qt::Key_Comma, event->modifiers(), QStringLiteral(","));
        QLineEdit::keyPressEvent(&comma);
        return;
    }
    if (event->text() == QLatin1String("-") && !allowNegative_)
        return;
    QLineEdit::keyPressEvent(event);
}

} // namespace sup::host
