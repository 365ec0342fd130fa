#pragma once

#include "sup/data/WorkingSet.h"

#include <QObject>
#include <QPointer>

#include <functional>

namespace sup::data {

// Binds a working set to grids and labels and relays its state and data changes. While the
// set's controls are disabled nothing is relayed; when they are enabled again the source relays
// one data change, and a state change when the state differs from the last one relayed.
// A disabled source (setEnabled(false)) relays nothing and reports the inactive state.
class TDataSource : public QObject {
    Q_OBJECT
public:
    explicit TDataSource(QObject* parent = nullptr, const QString& name = {});

    void setDataSet(TWorkingSet* set);
    TWorkingSet* dataSet() const { return set_; }
    DataSetState state() const;
    void setEnabled(bool on);
    bool enabled() const { return enabled_; }

    // Runs on every state change of the bound set.
    std::function<void(TDataSource&)> OnStateChange;
    // Runs when the data shown changes: a record written or posted, the current record moved,
    // the content replaced.
    std::function<void(TDataSource&)> OnDataChange;

signals:
    void stateChanged(sup::data::DataSetState state);
    void dataChanged();
    void dataSetChanged();

private:
    void relayState();
    void relayData();

    QPointer<TWorkingSet> set_;
    QMetaObject::Connection stateConn_, dataConn_, resetConn_, currentConn_, goneConn_;
    DataSetState last_ = DataSetState::Inactive;
    bool enabled_ = true;
};

} // namespace sup::data
