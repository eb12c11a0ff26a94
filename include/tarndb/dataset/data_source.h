// TDataSource and TDataLink: how other objects follow a dataset. A data source is attached to
// one dataset and passes that dataset's notifications (state changes, record and field
// changes, scrolling, leaving a record) to the data links attached to it; a data link turns
// them into virtual calls (ActiveChanged, RecordChanged, DataSetChanged, CheckBrowseMode ...)
// that subclasses such as TMasterDataLink override.
//
// Ownership: nobody owns anybody. A data source refers to its dataset and a link to its data
// source by plain pointers; each side removes itself from the other when it is destroyed
// (a destroyed dataset leaves its data sources with no dataset, a destroyed data source
// leaves its links with no data source; either way the links see themselves go inactive,
// as when the dataset closes). Everything runs on the dataset's thread.
#pragma once

#include <functional>
#include <vector>

#include "tarndb/dataset/component.h"
#include "tarndb/dataset/dataset_types.h"

namespace tarn {

class TDataSet;
class TDataLink;
class TField;

class TDataSource : public TComponent {
public:
    explicit TDataSource(TDataSet* dataSet = nullptr);
    ~TDataSource() override;

    TDataSet* DataSet() const { return dataSet_; }
    // Attaches to `dataSet` (nullptr detaches). A dataset that follows this data source as a
    // detail (directly or through its masters) raises "Circular datalinks are not allowed".
    void SetDataSet(TDataSet* dataSet);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    // The dataset's state while enabled and attached, else dsInactive.
    TDataSetState State() const { return state_; }
    // True when `dataSet` is this source's dataset or follows it through a chain of masters.
    bool IsLinkedTo(const TDataSet* dataSet) const;

    // Called after the links saw a field, record or data-set change (field: the changed
    // field, or nullptr for a change of the whole record).
    std::function<void(TDataSource&, TField*)> OnDataChange;
    std::function<void(TDataSource&)> OnStateChange;
    // Called when the dataset is about to post (deUpdateRecord).
    std::function<void(TDataSource&)> OnUpdateData;

private:
    friend class TDataSet;
    friend class TDataLink;

    void DataEvent(TDataEvent event, TField* field);
    void UpdateState();
    void NotifyLinks(TDataEvent event, TField* field);
    void DataSetDestroyed();
    void AddLink(TDataLink* link);
    void RemoveLink(TDataLink* link);

    TDataSet* dataSet_ = nullptr;
    bool enabled_ = true;
    TDataSetState state_ = dsInactive;
    std::vector<TDataLink*> links_;
};

class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* source);
    // The data source's dataset, or nullptr.
    TDataSet* DataSet() const;
    // Attached to an enabled data source whose dataset is open.
    bool Active() const { return active_; }
    // The dataset is in dsEdit or dsInsert while the link is active.
    bool Editing() const { return editing_; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v) { readOnly_ = v; }
    // Puts the dataset into dsEdit (unless read-only); returns Editing().
    bool Edit();
    // Runs UpdateData (the dataset is about to post).
    void UpdateRecord();

protected:
    virtual void ActiveChanged() {}
    virtual void CheckBrowseMode() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    virtual void DataSetScrolled() { DataSetChanged(); }
    virtual void EditingChanged() {}
    virtual void LayoutChanged() { DataSetChanged(); }
    virtual void RecordChanged(TField* field) { (void)field; }
    virtual void UpdateData() {}

private:
    friend class TDataSource;

    void DataEvent(TDataEvent event, TField* field);
    void UpdateState();

    TDataSource* dataSource_ = nullptr;
    bool active_ = false;
    bool editing_ = false;
    bool readOnly_ = false;
    bool updating_ = false;
};

}  // namespace tarn
