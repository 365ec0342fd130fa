#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

// The sign-on: operator code and password, checked by `check` (an error text, empty when the
// sign-on succeeded). A refused sign-on keeps the dialog open with the message and the password
// cleared; Esc or "Cancelar" gives up.
class SignOnDialog : public QDialog {
    Q_OBJECT
public:
    using Check = std::function<QString(const QString& operatorCode, const QString& password)>;
    SignOnDialog(Check check, QWidget* parent = nullptr);

    QString operatorCode() const;
    QLineEdit* operatorEdit() const { return operator_; }
    QLineEdit* passwordEdit() const { return password_; }
    QLabel* messageLabel() const { return message_; }

private:
    void tryAccept();
    Check check_;
    QLineEdit* operator_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLabel* message_ = nullptr;
    QPushButton* ok_ = nullptr;
};
