#pragma once

#include <QString>

namespace sup::host {

// Asks for the password of `operatorCode` (trailing blanks ignored) in a dialog titled `caption`
// with `label` above the password field ("Senha:" when empty) and checks it against the hash
// stored for that operator. True only when it matches; a cancelled dialog, a wrong password
// (after the host's retries) or an unknown operator answer false.
bool CriaConfSenha(const QString& operatorCode, const QString& caption, const QString& label);

} // namespace sup::host
