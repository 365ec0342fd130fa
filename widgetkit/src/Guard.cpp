#include "sup/widgetkit/Guard.h"

#include "sup/widgetkit/Busy.h"
#include "sup/widgetkit/Messages.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QRadioButton>
#include <QWidget>
#include <QtDebug>

#include <vector>

namespace sup::host {

bool Guarded(const std::function<void()>& handler) noexcept {
    int depth = 0;
    try {
        depth = BusyDepth();
        handler();
        return true;
    } catch (const EAbort&) {
        try {
            RestoreBusyDepth(depth);
        } catch (...) {
        }
        return false;
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        try {
            RestoreBusyDepth(depth);
            ReportException(error);
        } catch (...) {
            qCritical("sup::host::Guarded: the error report itself failed");
        }
        return false;
    }
}

QMetaObject::Connection OnClick(QAbstractButton* button, std::function<void()> handler) {
    if (button->isCheckable() && qobject_cast<QRadioButton*>(button)) {
        return QObject::connect(button, &QAbstractButton::toggled, button,
                                [h = std::move(handler)](bool checked) {
                                    if (checked)
                                        Guarded(h);
                                });
    }
    if (button->isCheckable()) {
        return QObject::connect(button, &QAbstractButton::toggled, button,
                                [h = std::move(handler)](bool) { Guarded(h); });
    }
    return QObject::connect(button, &QAbstractButton::clicked, button,
                            [h = std::move(handler)](bool) { Guarded(h); });
}

QMetaObject::Connection OnTriggered(QAction* action, std::function<void()> handler) {
    return QObject::connect(action, &QAction::triggered, action,
                            [h = std::move(handler)](bool) { Guarded(h); });
}

namespace {

// The enter, exit and key handlers of one control.
class ControlHook : public QObject {
public:
    explicit ControlHook(QWidget* control)
        : QObject(control) {
        setObjectName(QStringLiteral("sup_host_control_hook"));
        control->installEventFilter(this);
    }

    static ControlHook* of(QWidget* control) {
        for (QObject* child : control->children())
            if (auto* hook = dynamic_cast<ControlHook*>(child))
                return hook;
        return new ControlHook(control);
    }

    std::vector<std::function<void()>> enter, exit;
    std::vector<std::function<void(int&, Qt::KeyboardModifiers)>> keyDown;

private:
    // An exit handler is running, on this control or any other. The focus it moves (back into
    // its own control when its check fails) makes no enter or exit anywhere: two edits whose
    // checks both fail would otherwise send the focus to each other without end.
    static inline bool exiting_ = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::FocusIn:
        case QEvent::FocusOut: {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
                break;
            if (exiting_)
                break;
            const bool out = event->type() == QEvent::FocusOut;
            const auto& handlers = out ? exit : enter;
            exiting_ = out;
            for (const auto& h : handlers)
                if (!Guarded(h))
                    break;
            exiting_ = false;
            break;
        }
        case QEvent::KeyPress: {
            if (keyDown.empty())
                break;
            auto* ke = static_cast<QKeyEvent*>(event);
            int key = ke->key();
            for (const auto& h : keyDown) {
                Guarded([&] { h(key, ke->modifiers()); });
                if (key == 0)
                    return true; // discarded
            }
            break;
        }
        default:
            break;
        }
        return false;
    }
};

} // namespace

void OnEnter(QWidget* control, std::function<void()> handler) {
    ControlHook::of(control)->enter.push_back(std::move(handler));
}

void OnExit(QWidget* control, std::function<void()> handler) {
    ControlHook::of(control)->exit.push_back(std::move(handler));
}

void OnKeyDown(QWidget* control,
               std::function<void(int& key, Qt::KeyboardModifiers modifiers)> handler) {
    ControlHook::of(control)->keyDown.push_back(std::move(handler));
}

} // namespace sup::host
