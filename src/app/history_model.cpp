#include "app/history_model.h"

#include <QTimer>
#include <algorithm>

#include "app/row_result_icon.h"
#include "timetable/history_text.h"
#include "platform/clock.h"

namespace morrowset {

namespace {

using historytext::Column;

QString cellText(const HistoryEntry& entry, Column column) {
    return QString::fromStdString(historytext::cell(entry, column, platform::wallNow()));
}

}  // namespace

HistoryModel::HistoryModel(const std::string& appFolder, HistoryList::RunningCheck running, QObject* parent)
    : QAbstractTableModel(parent), list_(appFolder, std::move(running)) {}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : historytext::kColumns; }

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const HistoryEntry& shown = entry(index.row());
    const auto column = static_cast<Column>(index.column());
    switch (role) {
        case Qt::DisplayRole: return cellText(shown, column);
        case Qt::ToolTipRole:
            if (column == Column::Command || column == Column::Result) return cellText(shown, column);
            return {};
        case Qt::DecorationRole:
            if (column == Column::Result) {
                QIcon& icon = icons_[static_cast<std::size_t>(shown.run.result())];
                if (icon.isNull()) icon = RowResultIcon::iconFor(shown.run.result());
                return icon;
            }
            return {};
        case Qt::TextAlignmentRole:
            if (column == Column::Row) return int(Qt::AlignCenter);
            return {};
        default: return {};
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= historytext::kColumns)
        return {};
    return QString::fromLatin1(historytext::heading(static_cast<Column>(section)).data(),
                               static_cast<qsizetype>(historytext::heading(static_cast<Column>(section)).size()));
}

bool HistoryModel::canFetchMore(const QModelIndex& parent) const { return !parent.isValid() && list_.hasMore(); }

void HistoryModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid() || !list_.hasMore()) return;
    const std::size_t before = list_.size();
    list_.readMore(kPage, kFetchBytes);
    std::vector<std::size_t> passed;
    for (std::size_t index = before; index < list_.size(); ++index)
        if (passes(list_.at(index))) passed.push_back(index);
    if (!passed.empty()) {
        const int first = rowCount();
        beginInsertRows({}, first, first + static_cast<int>(passed.size()) - 1);
        shown_.insert(shown_.end(), passed.begin(), passed.end());
        endInsertRows();
    } else if (list_.hasMore() && !fetchQueued_) {
        fetchQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            fetchQueued_ = false;
            fetchMore({});
        });
    }
}

bool HistoryModel::passes(const HistoryEntry& entry) const { return filter_ == 0 || entry.run.row + 1 == filter_; }

void HistoryModel::setRowFilter(int row) {
    if (row == filter_) return;
    beginResetModel();
    filter_ = row;
    shown_.clear();
    for (std::size_t index = 0; index < list_.size(); ++index)
        if (passes(list_.at(index))) shown_.push_back(index);
    endResetModel();
}

void HistoryModel::refresh() {
    const HistoryList::Changes changes = list_.takeNewLines();
    if (changes.added > 0) {
        for (std::size_t& index : shown_) index += changes.added;
        std::vector<std::size_t> passed;
        for (std::size_t index = 0; index < changes.added; ++index)
            if (passes(list_.at(index))) passed.push_back(index);
        if (!passed.empty()) {
            beginInsertRows({}, 0, static_cast<int>(passed.size()) - 1);
            shown_.insert(shown_.begin(), passed.begin(), passed.end());
            endInsertRows();
        }
    }
    for (const std::size_t index : changes.changed) {
        const auto found = std::lower_bound(shown_.begin(), shown_.end(), index);
        if (found == shown_.end() || *found != index) continue;
        const int row = static_cast<int>(found - shown_.begin());
        emit dataChanged(this->index(row, 0), this->index(row, historytext::kColumns - 1));
    }
}

}  // namespace morrowset
