#pragma once

#include <QString>
#include <QStringList>

namespace sup::host {

// Kinds of code pictures (edit masks) kept with the signed-on user's values.
enum TPictureType : int {
    ptProduto = 0, // product tree code (PARAMGERAL.DSPICTPROD)
};

// Values of the signed-on user, filled at sign-on.
struct TVantrel {
    QString Operador;      // operator code (OPERADOR.CDOPERADOR)
    QString FiliProc;      // processing branch, 4 characters (OPERADOR.CDFILPROC)
    bool ModuFili = false; // the operator works bound to the processing branch
    QString WebURL;        // application server address ("" = in-process)
    int WebPort = 0;       // application server port (0 = the one in WebURL, or none)
    QStringList Pictures;  // edit masks by picture type; index 0 = product tree code

    // The edit mask of a picture type ("" when unknown), e.g. "9.99.999.9999;1;_".
    QString DBPict(int type) const {
        return type >= 0 && type < Pictures.size() ? Pictures.at(type) : QString();
    }
};

// The values of the current host's signed-on user.
const TVantrel& Vantrel();

} // namespace sup::host
