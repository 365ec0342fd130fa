#pragma once

#include "sup/widgetkit/EditMask.h"

#include <QColor>
#include <QDate>
#include <QLineEdit>
#include <QPointer>
#include <QStringList>
#include <QToolButton>

class QAction;
class QCalendarWidget;

namespace sup::host {

// A flat toolbar button with a glyph and a hint. A button tied to a menu item takes the menu
// item's enabled state whenever that changes, and runs the menu item when clicked.
class TButtonFlat : public QToolButton {
    Q_OBJECT
public:
    explicit TButtonFlat(QWidget* parent = nullptr, const QString& name = {});

    void setHint(const QString& hint) { setToolTip(hint); }
    QString Hint() const { return toolTip(); }
    void setCaption(const QString& caption);

    // Mirrors the enabled state of `item` (also right now).
    void mirror(QAction* item);
    // Mirrors `item` and runs it on a click.
    void bindToMenuItem(QAction* item);
    QAction* menuItem() const { return item_; }

private:
    QPointer<QAction> item_;
    QMetaObject::Connection mirrorConn_, clickConn_;
};

// A line edit with an edit mask of the screens' form (TEditMask): "9999999999;0; ",
// ">aaaa;0; ", the product tree-code picture. Text() is the stored text (blanks removed,
// literals kept only when the mask saves them); SetText fills the mask from a stored or typed
// text. Without a mask it is a plain edit.
class TMaskEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TMaskEdit(QWidget* parent = nullptr, const QString& name = {});

    void setEditMask(const QString& editMask);
    const QString& EditMask() const { return maskText_; }
    const TEditMask& mask() const { return mask_; }

    QString Text() const;
    void SetText(const QString& text);
    void Clear() { SetText({}); }

    // The first place not typed yet (the mask's length when every place is filled).
    int firstEmptyPlace() const;

protected:
    // A click beyond what is typed puts the cursor at the first empty place, so that typing
    // always enters.
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString maskText_;
    TEditMask mask_;
};

// A date edit: date only (dd/mm/aaaa), a calendar on F4 or Alt+Down, "+" and "-" move one day,
// the week-day name of a valid date shown at the right ("Domingo" … "Sábado"), valid dates in
// the valid colour. An empty edit is the date 0.
class TDateEditPlus : public QLineEdit {
    Q_OBJECT
public:
    explicit TDateEditPlus(QWidget* parent = nullptr, const QString& name = {});

    // Day numbers (day 0 = 30/12/1899; 0 = empty). GetDate of a text that is not a valid date
    // raises like CheckValidDate.
    double GetDate() const;
    void SetDate(double day);
    QDate Date() const; // null for an empty or invalid text
    void setDate(const QDate& date);
    void Clear();

    // "" when nothing is typed, else the text as shown ("25/03/2024").
    QString Text() const;
    bool IsEmpty() const;
    bool isValidDate() const;

    // Raises EHostError ("\"31/02/2024\" não é uma data válida.") for a typed text that is not a
    // valid date; an empty edit passes.
    void CheckValidDate() const;
    // The check of the edit's exit: on an invalid date the focus stays in the edit with the text
    // selected, so that typing replaces it, and the error is raised.
    void CheckValidDateOnExit();

    void setWeekDayNames(const QStringList& names); // seven names, Sunday first
    const QStringList& WeekDayNames() const { return weekDays_; }
    void setShowWeekDay(bool on);
    void setValidColor(const QColor& color);

    void showCalendar();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void updateLook();
    QStringList weekDays_;
    bool showWeekDay_ = true;
    QColor validColor_;
    QPointer<QCalendarWidget> calendar_;
};

// A number edit: a decimal comma (a point typed is taken as the comma), `decimals` places shown
// when the edit is left, no thousands separator, right aligned. Empty is 0.
class TNumberEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TNumberEdit(QWidget* parent = nullptr, const QString& name = {});

    void setDecimals(int decimals);
    int Decimals() const { return decimals_; }
    void setAllowNegative(bool on) { allowNegative_ = on; }

    double GetNumber() const;
    void SetNumber(double value);
    QString Text() const { return text(); }
    void Clear() { clear(); }

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int decimals_ = 2;
    bool allowNegative_ = true;
};

} // namespace sup::host
