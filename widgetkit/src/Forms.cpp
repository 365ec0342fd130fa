#include "sup/widgetkit/Forms.h"

#include "sup/widgetkit/Options.h"

#include "sup/contracts/host/Host.h"
#include "sup/widgetkit/Guard.h"
#include "sup/widgetkit/Messages.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>

namespace sup::host {

namespace {

QWidget* defaultOwner(QWidget* parent) {
    if (parent)
        return parent;
    if (Host* host = Host::current())
        return host->mainWindow();
    return nullptr;
}

} // namespace

TForm::TForm(QWidget* parent)
    : QDialog(defaultOwner(parent)) {
    lblCodTela = new QLabel(this);
    lblCodTela->setObjectName(QStringLiteral("lblCodTela"));
    QFont f = lblCodTela->font();
    f.setBold(true);
    lblCodTela->setFont(f);
    lblCodTela->setForegroundRole(QPalette::PlaceholderText);
    msgPadrao = new TMessages(this, QStringLiteral("msgPadrao"));
}

TForm::~TForm() = default;

void TForm::FormCreate() {}
void TForm::FormActivate() {}
void TForm::FormClose(TCloseAction&) {}

void TForm::activateForm() {
    Guarded([this] { FormActivate(); });
}

void TForm::setScreenCode(const QString& code) {
    lblCodTela->setText(code);
}
QString TForm::screenCode() const {
    return lblCodTela->text();
}

void TForm::Repaint() {
    repaint();
}

bool TForm::Close() {
    done(modalResult_ ? modalResult_ : int(mrCancel));
    return !isVisible();
}

void TForm::setModalResult(int result) {
    modalResult_ = result;
    if (result != 0)
        done(result);
}

void TForm::done(int result) {
    if (closing_)
        return;
    closing_ = true;
    modalResult_ = result;
    TCloseAction action = caHide;
    const bool ok = Guarded([&] { FormClose(action); });
    closing_ = false;
    if (!ok || action == caNone)
        return;
    if (action == caMinimize) {
        showMinimized();
        return;
    }
    try {
        StoreLayout(objectName(), this);
    } catch (const std::exception&) {
        // the layout is a convenience: a failing store loses nothing else
    }
    QDialog::done(result);
    if (action == caFree)
        deleteLater();
}

void TForm::reject() {
    done(mrCancel);
}

bool TForm::event(QEvent* event) {
    if (event->type() == QEvent::Show && !layoutRestored_) {
        layoutRestored_ = true;
        try {
            RestoreLayout(objectName(), this);
        } catch (const std::exception&) {
            // no stored layout to be had: the screen opens as designed
        }
    }
    if (event->type() == QEvent::Show && !activeSinceShow_) {
        activeSinceShow_ = true;
        modalResult_ = 0;
        QMetaObject::invokeMethod(
            this, [this] { activateForm(); }, Qt::QueuedConnection);
    } else if (event->type() == QEvent::Hide) {
        activeSinceShow_ = false;
    }
    return QDialog::event(event);
}

void TForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        Guarded([this] { Host::instance().showHelp(screenCode(), helpContext_); });
        return;
    }
    QDialog::keyPressEvent(event);
}

int ShowModal(QDialog* screen) {
    return Host::instance().showModal(screen);
}

} // namespace sup::host
