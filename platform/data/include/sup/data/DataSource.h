#pragma once

#include "sup/data/WorkingSet.h"

#include <QObject>
#include <QPointer>

#include <functional>

namespace sup::data {

// Binds a working set to grids and labels and relays its state changes.
class TDataSource : public QObject {
    Q_OBJECT
public:
    explicit TDataSource(QObject* parent = nullptr, const QString& name = {});

    void setDataSet(TWorkingSet* set);
    TWorkingSet* dataSet() const { return set_; }
    DataSetState state() const;
    void setEnabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }

    // Runs on every state change of the bound set.
    std::function<void(TDataSource&)> OnStateChange;
    std::function<void(TDataSource&)> OnDataChange;

signals:
    void stateChanged(sup::data::DataSetState state);
    void dataChanged();
    void dataSetChanged();

private:
    QPointer<TWorkingSet> set_;
    QMetaObject::Connection stateConn_, dataConn_, resetConn_, currentConn_;
    bool enabled_ = true;
};

} // namespace sup::data
