#pragma once
// The run history as a table for the History window: Row, Command, Trigger, Started,
// Duration, Result, newest first, over a HistoryList. The view fetches older runs as it is
// scrolled to them, so a history of a million lines opens as fast as an empty one. A row
// filter shows one row's runs alone.
#include <QAbstractTableModel>
#include <QIcon>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "timetable/history_list.h"

namespace morrowset {

class HistoryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // What one fetch reads at most: entries of any row, and bytes.
    static constexpr std::size_t kPage = 100;
    static constexpr int64_t kFetchBytes = 1 << 20;

    explicit HistoryModel(const std::string& appFolder, HistoryList::RunningCheck running = {},
                          QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    // Reads one page further back. When none of it passed the filter, the next page is read
    // on the next turn of the event loop (the view asks again only when rows came).
    void fetchMore(const QModelIndex& parent) override;

    // Shows row `row`'s runs alone (1 to 6), or every run (0).
    void setRowFilter(int row);
    int rowFilter() const { return filter_; }

    const HistoryEntry& entry(int modelRow) const { return list_.at(shown_[static_cast<std::size_t>(modelRow)]); }
    const HistoryList& list() const { return list_; }

    // Takes in the runs started and ended since the last look.
    void refresh();

private:
    bool passes(const HistoryEntry& entry) const;

    HistoryList list_;
    // By RunRecord::Result (Skipped is the last), made when first shown.
    mutable std::array<QIcon, static_cast<std::size_t>(RunRecord::Result::Skipped) + 1> icons_;
    int filter_ = 0;
    std::vector<std::size_t> shown_;  // the list's indexes of the entries shown, in order
    bool fetchQueued_ = false;
};

}  // namespace morrowset
