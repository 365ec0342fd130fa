#include "sup/host/Dialogs.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace sup::host {

PasswordDialog::PasswordDialog(const QString& operatorText, const QString& caption,
                               const QString& label, std::function<bool(const QString&)> verify,
                               QWidget* parent)
    : QDialog(parent)
    , verify_(std::move(verify)) {
    setObjectName(QStringLiteral("frmConfSenha"));
    setWindowTitle(caption.trimmed().isEmpty() ? QStringLiteral("Confere senha") : caption);
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(40, 40));
    icon->setAlignment(Qt::AlignTop);
    top->addWidget(icon);
    auto* form = new QFormLayout;
    auto* op = new QLabel(operatorText, this);
    QFont bold = op->font();
    bold.setBold(true);
    op->setFont(bold);
    form->addRow(QStringLiteral("Operador:"), op);
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("edtSenha"));
    password_->setEchoMode(QLineEdit::Password);
    password_->setMinimumWidth(220);
    auto* prompt = new QLabel(label.trimmed().isEmpty() ? QStringLiteral("&Senha:") : label, this);
    prompt->setBuddy(password_);
    form->addRow(prompt, password_);
    top->addLayout(form, 1);
    layout->addLayout(top);
    error_ = new QLabel(this);
    error_->setObjectName(QStringLiteral("lblErro"));
    QPalette red = error_->palette();
    red.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x20));
    error_->setPalette(red);
    error_->hide();
    layout->addWidget(error_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancelar"), this);
    cancel->setObjectName(QStringLiteral("btnCancelar"));
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] { tryPassword(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    password_->setFocus();
}

void PasswordDialog::tryPassword() {
    ++attempts_;
    bool ok = false;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ok = verify_ && verify_(password_->text());
        QApplication::restoreOverrideCursor();
    }
    if (ok) {
        confirmed_ = true;
        accept();
        return;
    }
    password_->clear();
    if (attempts_ >= kMaxAttempts) {
        reject();
        return;
    }
    const int left = kMaxAttempts - attempts_;
    error_->setText(left == 1
                        ? QStringLiteral("Senha não confere. Resta 1 tentativa.")
                        : QStringLiteral("Senha não confere. Restam %1 tentativas.").arg(left));
    error_->show();
    password_->setFocus();
}

} // namespace sup::host
