#pragma once

#include <QString>

#include <stdexcept>

namespace sup::server {

// A business failure of a method; becomes a ServerFault with this message and code.
class MethodFault : public std::runtime_error {
public:
    MethodFault(const QString& message, const QString& code = QStringLiteral("business"))
        : std::runtime_error(message.toStdString())
        , message_(message)
        , code_(code) {}
    const QString& message() const { return message_; }
    const QString& code() const { return code_; }

private:
    QString message_;
    QString code_;
};

} // namespace sup::server
