#include "SignOnDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

SignOnDialog::SignOnDialog(Check check, QWidget* parent)
    : QDialog(parent)
    , check_(std::move(check)) {
    setObjectName(QStringLiteral("frmSignOn"));
    setWindowTitle(QStringLiteral("Identificação do Operador"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("Informe seu código de operador e sua senha."), this);
    layout->addWidget(intro);

    auto* form = new QFormLayout;
    operator_ = new QLineEdit(this);
    operator_->setObjectName(QStringLiteral("edtOperador"));
    operator_->setMaxLength(10);
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("edtSenha"));
    password_->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("&Operador:"), operator_);
    form->addRow(QStringLiteral("&Senha:"), password_);
    layout->addLayout(form);

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("lblMensagem"));
    message_->setStyleSheet(QStringLiteral("color: #b00000;"));
    message_->setWordWrap(true);
    message_->hide();
    layout->addWidget(message_);

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QStringLiteral("&Entrar"), QDialogButtonBox::AcceptRole);
    ok_->setDefault(true);
    buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &SignOnDialog::tryAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setMinimumWidth(340);
}

QString SignOnDialog::operatorCode() const {
    return operator_->text().trimmed();
}

void SignOnDialog::tryAccept() {
    if (operatorCode().isEmpty()) {
        message_->setText(QStringLiteral("Informe o código do operador."));
        message_->show();
        operator_->setFocus();
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString error = check_(operatorCode(), password_->text());
    QApplication::restoreOverrideCursor();
    if (!error.isEmpty()) {
        message_->setText(error);
        message_->show();
        password_->clear();
        password_->setFocus();
        return;
    }
    accept();
}
