#include "sup/contracts/InProcess.h"

#include <QMutex>
#include <QMutexLocker>

namespace sup::contracts {

namespace {

QMutex factoryMutex;
InProcessFactory& factoryRef() {
    static InProcessFactory f;
    return f;
}

} // namespace

void setInProcessFactory(InProcessFactory factory) {
    QMutexLocker lock(&factoryMutex);
    factoryRef() = std::move(factory);
}

bool hasInProcessFactory() {
    QMutexLocker lock(&factoryMutex);
    return bool(factoryRef());
}

InProcessFactory inProcessFactory() {
    QMutexLocker lock(&factoryMutex);
    return factoryRef();
}

} // namespace sup::contracts
