#include "app/LogModel.h"

#include "app/LocalText.h"

#include <QBrush>
#include <QColor>
#include <QSize>
#include <QString>

#include <limits>

namespace sarvoli::app {

namespace {

constexpr std::uint64_t kFailedBit = std::uint64_t{1} << 63;
constexpr int kItemHeight = 13;

}  // namespace

LogModel::LogModel(QObject* parent) : QAbstractListModel(parent) {}

void LogModel::append(std::string_view line, bool failed)
{
    m_text.append(line);
    m_ends.push_back(static_cast<std::uint64_t>(m_text.size()) | (failed ? kFailedBit : 0));
    if (failed)
        ++m_failed;
}

bool LogModel::publish()
{
    const std::int64_t total = std::min<std::int64_t>(lineCount(), std::numeric_limits<int>::max());
    if (total == m_published)
        return false;
    beginInsertRows(QModelIndex(), m_published, static_cast<int>(total - 1));
    m_published = static_cast<int>(total);
    endInsertRows();
    return true;
}

void LogModel::clear()
{
    beginResetModel();
    m_text.clear();
    m_text.shrink_to_fit();
    m_ends.clear();
    m_ends.shrink_to_fit();
    m_failed = 0;
    m_withdrawn = 0;
    ++m_clears;
    m_published = 0;
    endResetModel();
}

std::string_view LogModel::line(std::int64_t row) const
{
    const std::uint64_t begin = row == 0 ? 0 : (m_ends[static_cast<std::size_t>(row - 1)] & ~kFailedBit);
    const std::uint64_t end = m_ends[static_cast<std::size_t>(row)] & ~kFailedBit;
    return std::string_view(m_text).substr(begin, end - begin);
}

bool LogModel::isFailed(std::int64_t row) const { return (m_ends[static_cast<std::size_t>(row)] & kFailedBit) != 0; }

std::size_t LogModel::memoryBytes() const
{
    return m_text.capacity() + m_ends.capacity() * sizeof(std::uint64_t);
}

int LogModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_published; }

QVariant LogModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_published)
        return {};
    switch (role) {
    case Qt::DisplayRole: {
        return fromLocal(line(index.row()));
    }
    case Qt::ForegroundRole:
        return isFailed(index.row()) ? QVariant(QBrush(QColor(0xB0, 0x00, 0x00))) : QVariant();
    case Qt::SizeHintRole:
        return QSize(0, kItemHeight);
    default:
        return {};
    }
}

}  // namespace sarvoli::app
