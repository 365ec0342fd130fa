#pragma once

#include <QString>
#include <QVariantList>

#include <initializer_list>

namespace sup::data {
class TDataSource;
} // namespace sup::data

namespace sup::host {

// Options of ValidEx, a set of the options 0 to 12.
//   1  (voCadastroLivre): a code that fits the picture but is not registered in PRODUTO is not an
//      error; the caller looks the product up and reports "Produto não cadastrado." itself.
//   0, 2 to 12: no effect (kept so that every option set a screen passes is accepted).
// Without option 1 an unregistered code raises "Produto <code> não cadastrado.".
class TValidExOptions {
public:
    constexpr TValidExOptions() = default;
    constexpr TValidExOptions(std::initializer_list<int> options) {
        for (int o : options)
            if (o >= 0 && o <= 12)
                bits_ = quint16(bits_ | (1u << o));
    }
    // A set from its bit values: fromBits(2) is {1}.
    static constexpr TValidExOptions fromBits(quint16 bits) {
        TValidExOptions o;
        o.bits_ = quint16(bits & 0x1FFF);
        return o;
    }
    constexpr bool has(int option) const {
        return option >= 0 && option <= 12 && (bits_ & (1u << option)) != 0;
    }
    constexpr quint16 bits() const { return bits_; }

private:
    quint16 bits_ = 0;
};

inline constexpr int voCadastroLivre = 1;

// Product data of a tree code from the local database (table PRODUTO): element 0 the stored tree
// code, 1 the product name (NMPRODUTO), 2 the product code (CDPRODUTO), 3 the unit (SGUNIDADE).
// A code that is empty, does not fit the picture or is not registered gives four empty texts;
// only a failing database raises (EHostError).
QVariantList Dados_Produto(const QString& treeCode);

// Normalises a typed code to the picture of `pictureType` (0: the product tree code,
// Vantrel().DBPict(0)): `code` is replaced by its stored form when it fits. Checks, in order:
//  - a blank code passes untouched (true): telling that a code is missing is the screen's affair;
//  - the code must fit the picture (see TEditMask::fit): else "Código <code> inválido. Informe o
//    produto no formato 9.99.999.9999.";
//  - unless option 1 is given, the code must be registered: in the data set of `source` when it
//    is open and has a field CDARVPROD holding the code, else in PRODUTO; else
//    "Produto <code> não cadastrado.".
// `label` names the code in messages ("Produto" when empty). With `raiseError` a failure raises
// EHostError with its message (the guard shows it); without, ValidEx returns false.
bool ValidEx(sup::data::TDataSource* source, int pictureType, QString& code,
             TValidExOptions options, const QString& label = {}, bool raiseError = true);

} // namespace sup::host
