#include "sup/data/DataSource.h"

namespace sup::data {

TDataSource::TDataSource(QObject* parent, const QString& name)
    : QObject(parent) {
    setObjectName(name);
}

void TDataSource::setDataSet(TWorkingSet* set) {
    if (set == set_) {
        return;
    }
    for (auto* c : {&stateConn_, &dataConn_, &resetConn_, &currentConn_, &goneConn_}) {
        disconnect(*c);
    }
    set_ = set;
    if (set) {
        stateConn_ = connect(set, &TWorkingSet::stateChanged, this, [this] { relayState(); });
        dataConn_ = connect(set, &TWorkingSet::recordChanged, this, [this] { relayData(); });
        currentConn_ = connect(set, &TWorkingSet::currentChanged, this, [this] { relayData(); });
        resetConn_ = connect(set, &TWorkingSet::contentReset, this, [this] {
            relayState();
            relayData();
        });
        goneConn_ = connect(set, &QObject::destroyed, this, [this] {
            set_ = nullptr;
            relayState();
            emit dataSetChanged();
        });
    }
    emit dataSetChanged();
    relayState();
    relayData();
}

DataSetState TDataSource::state() const {
    return (enabled_ && set_) ? set_->state() : DataSetState::Inactive;
}

void TDataSource::setEnabled(bool on) {
    if (on == enabled_) {
        return;
    }
    enabled_ = true; // so that the change itself is relayed
    if (!on) {
        // Going quiet looks like the set closing to whoever listens.
        if (last_ != DataSetState::Inactive) {
            last_ = DataSetState::Inactive;
            emit stateChanged(last_);
            if (OnStateChange) {
                OnStateChange(*this);
            }
        }
        enabled_ = false;
        return;
    }
    relayState();
    relayData();
}

void TDataSource::relayState() {
    if (!enabled_) {
        return;
    }
    const DataSetState s = state();
    if (s == last_) {
        return;
    }
    last_ = s;
    emit stateChanged(s);
    if (OnStateChange) {
        OnStateChange(*this);
    }
}

void TDataSource::relayData() {
    if (!enabled_ || !set_) {
        return;
    }
    emit dataChanged();
    if (OnDataChange) {
        OnDataChange(*this);
    }
}

} // namespace sup::data
