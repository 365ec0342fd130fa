#pragma once

// The method contract of the application server: for every method of the two remote modules its
// module, its name, each argument's position, type, by-reference flag and meaning, whether it
// writes, and the shape of its answer. Declared once, here; the server's dispatch, the typed
// client calls (ServerCalls.h) and the test server all check calls against it.

#include <QBitArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantList>

namespace sup::contracts {

inline const QString kModuleAltPedidosOL = QStringLiteral("Sup07700.rdmAltPedidosOL");
inline const QString kModuleSuprimentos = QStringLiteral("Sup.rdmSuprimentos");

// Every method, named as it is called. `getParaSupri` (the maintenance screen's module) and
// `GetParaSupri` (the supplies module) are two calls of two modules.
enum class Method {
    // Sup07700.rdmAltPedidosOL
    GetParametroOL,
    GetPesqProduto,
    GetPesqMarca,
    GetBloqIncluiProdCmpOL,
    GetVd_Est_Disp,
    VerificaMarcaPref,
    VerificaMarcaPref1,
    GetBloqProdSemRelacOL,
    UpdItemPedidoOL,
    getParaSupri,
    SetBloqItem,
    GetVdReserva,
    SetReserva,
    GetItem,
    GetAgruFili,
    GetFiliAgrupFili,
    GetProduto,
    GetLotePedOL,
    GetFiltroSup,
    SetFiltroSup,
    GetProdutos,
    Carrega_PeriFili,
    GetAjusteUn,
    GetVdMarcPref,
    AltAtuItem,
    VisAltAtuItem,
    GetVd_LotePedOL,
    SetCadLoteEnvPedOL,
    // Sup.rdmSuprimentos
    GetParaSupri,
    // Sup07700.rdmAltPedidosOL, added later
    GetHistItem,
};

enum class ArgType {
    Text,      // QString
    Double,    // any finite number
    Integer,   // an integer (a double with no fraction is accepted)
    Boolean,   // bool
    BoolOrInt, // a bool or an integer (callers pass either)
    Date,      // QDate, QDateTime or a day number (double); 0 or invalid is the empty date
    Packet,    // sup::data::DataPacket (a delta is accepted too)
    Delta,     // sup::data::DataPacket that is a delta
    Array,     // QVariantList
};

// How an argument is passed. The server writes back every argument not passed by value; a
// few arguments are passed by reference from one screen and by value from another.
enum class Passing {
    Value,
    Reference,
    Either,
};

struct ArgSpec {
    ArgType type;
    Passing passing = Passing::Value;
    const char* what = ""; // Portuguese, for messages

    // The server may write the argument back.
    bool byRef() const { return passing != Passing::Value; }
};

// What a method answers, where the callers rely on it.
enum class AnswerShape {
    Packet,     // one data packet
    PacketList, // a list of `packets` data packets, read by index
    List,       // a list of at least `items` values of mixed kinds, read by index
    Scalar,     // a boolean-like value: bool, "S"/"N" or a number
    Text,       // a text
    Any,        // nothing fixed (or nothing at all)
};

struct MethodSpec {
    Method id;
    QString module;
    QString name;
    QList<ArgSpec> args;
    bool writes = false;
    AnswerShape answer = AnswerShape::Any;
    int items = 0; // PacketList: how many packets; List: how many values at least

    // Positions (0-based) of the arguments the server writes back.
    QList<int> byReferencePositions() const;
};

// Every method, in the order of the enumeration.
const QList<MethodSpec>& methodContract();
const MethodSpec& specOf(Method method);
// The method of `module` called `name` (letter case ignored, as the remote modules did);
// nullptr when the module has no such method.
const MethodSpec* findMethod(const QString& module, const QString& name);
bool isKnownModule(const QString& module);
QStringList knownModules();

// Argument check: an empty text when `args` fit the method, else the Portuguese reason. With
// `byRef` given, the caller's by-reference flags must agree with the contract too (an argument
// of either passing takes both).
QString checkArguments(const MethodSpec& def, const QVariantList& args,
                       const QBitArray* byRef = nullptr);
// Answer check (a fault is not checked): an empty text when `answer` has the method's shape.
QString checkAnswer(const MethodSpec& def, const QVariant& answer);

QString argTypeName(ArgType type);
QString valueTypeName(const QVariant& value);

} // namespace sup::contracts
