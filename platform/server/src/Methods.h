#pragma once

// The method table of the remote modules: each method's arguments (type, by reference) and its
// handler. Handlers live one file per group of methods (Methods*.cpp).

#include "Fault.h"

#include "sup/server/ReferenceServer.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>

namespace sup::server {

enum class ArgType {
    Text,      // QString
    Double,    // any number
    Integer,   // an integer (a double with no fraction is accepted)
    Boolean,   // bool
    BoolOrInt, // a bool or an integer (a caller passes either)
    Date,      // QDate, QDateTime or a day number (double); 0/invalid = empty
    Packet,    // sup::data::DataPacket (a delta is accepted too)
    Delta,     // sup::data::DataPacket that is a delta
    Array,     // QVariantList
    Any,       // any value
};

struct ArgSpec {
    ArgType type;
    bool byRef = false;
    const char* what = ""; // Portuguese description for messages
};

struct MethodContext {
    ReferenceServer& server;
    sql::Connection& conn;
    const CallContext& call;
    QString method;
};

using Handler = std::function<QVariant(MethodContext&, QVariantList&)>;

struct MethodDef {
    QString name;
    QList<ArgSpec> args;
    bool writes = false;
    Handler handler; // empty: registered but not available yet
};

const QList<MethodDef>& methodTable();
const MethodDef* findMethod(const QString& name); // letter case ignored

// Argument check; returns an empty text when the arguments fit, else the Portuguese message.
QString checkArguments(const MethodDef& def, const QVariantList& args);
QString argTypeName(ArgType type);

// Handlers (group files).
QVariant GetParametroOL(MethodContext&, QVariantList&);
QVariant GetParaSupri(MethodContext&, QVariantList&);
QVariant GetItem(MethodContext&, QVariantList&);
QVariant GetAgruFili(MethodContext&, QVariantList&);
QVariant GetFiliAgrupFili(MethodContext&, QVariantList&);
QVariant GetProduto(MethodContext&, QVariantList&);
QVariant GetLotePedOL(MethodContext&, QVariantList&);

} // namespace sup::server
