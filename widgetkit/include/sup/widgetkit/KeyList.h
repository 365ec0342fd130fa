#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace sup::host {

// Key lists: the text in which a multiple pick (PesquisaLista) returns the chosen keys.
//
// Format: every key is written between two "_" and the keys are concatenated in the order of
// the list:   "_0001_"   "_0001__0002__0107_"   "" (no key).
// A key is the text of the key field with its trailing blanks removed and, when the field has a
// size, padded again with blanks to that size, so every key of one list has the same length:
// one key of a 12-character field takes 14 characters, two take 28.
//
// Why this form: a local query tests membership with INSTR(list, code) > 0 (or CHARINDEX); with
// keys of one length and "_" on both sides of each, a code can only be found where it stands as
// a whole key. The server splits a list with ParseKeyList's rule. Keys never contain "_"
// (codes are digits and letters).
//
// Builds a list from keys; `width` > 0 pads each key with blanks to that width.
QString BuildKeyList(const QStringList& keys, int width = 0);

// The keys of a list, trailing blanks removed. A text that is not a key list (does not start
// and end with "_") gives no keys and sets *ok to false.
QStringList ParseKeyList(QStringView list, bool* ok = nullptr);

} // namespace sup::host
