#pragma once

#include <QMetaObject>
#include <QObject>
#include <Qt>

#include <functional>
#include <utility>

class QAbstractButton;
class QAction;
class QWidget;

namespace sup::host {

// The guard every handler that Qt calls runs through: it runs `handler`, swallows EAbort,
// reports any other exception through the host's error report and never lets an exception
// reach the Qt event loop. Busy indicators shown inside the handler and left shown by a failure
// are hidden before the report. Focus changes made before the failure stay made.
// Returns true when the handler completed.
bool Guarded(const std::function<void()>& handler) noexcept;

// Connects a signal to a handler that runs through the guard. `context` ends the connection.
template <class Sender, class Signal, class Handler>
QMetaObject::Connection ConnectGuarded(Sender* sender, Signal signal, QObject* context,
                                       Handler handler) {
    return QObject::connect(sender, signal, context, [h = std::move(handler)](auto&&... args) {
        Guarded([&] { h(std::forward<decltype(args)>(args)...); });
    });
}

// The click of a button. A check box runs it on every change of its state and a radio button
// whenever it becomes checked, from the user or from code, as the screens expect of "click".
QMetaObject::Connection OnClick(QAbstractButton* button, std::function<void()> handler);
// The choice of a menu item (or a shortcut).
QMetaObject::Connection OnTriggered(QAction* action, std::function<void()> handler);

// A control's enter and exit: the focus moves into it from another control of its window, or
// out of it to another control. Focus lost to another window (a message box, a pick list) is
// not an exit, so a failing exit handler that shows a message does not run again.
void OnEnter(QWidget* control, std::function<void()> handler);
void OnExit(QWidget* control, std::function<void()> handler);

// A key pressed in a control, before the control handles it: set `key` to 0 to discard it.
void OnKeyDown(QWidget* control,
               std::function<void(int& key, Qt::KeyboardModifiers modifiers)> handler);

} // namespace sup::host
