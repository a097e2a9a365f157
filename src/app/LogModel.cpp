#include "app/LogModel.h"

#include "app/LocalText.h"

#include <QBrush>
#include <QColor>
#include <QSize>
#include <QString>

#include <limits>

namespace sarvoli::app {

namespace {

constexpr std::uint32_t kFailedBit = std::uint32_t{1} << 31;
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
constexpr int kItemHeight = 13;

}  // namespace

LogModel::LogModel(QObject* parent) : QAbstractListModel(parent) {}

void LogModel::append(std::string_view line, bool failed)
{
    line = line.substr(0, kFailedBit - 1);
    // A line that does not fit the buffer in hand starts the next one (of its own size, if larger).
    if (m_chunks.empty() || m_chunks.back().capacity() - m_chunks.back().size() < line.size()) {
        m_chunks.emplace_back();
        m_chunks.back().reserve(std::max(kChunkBytes, line.size()));
    }
    std::string& chunk = m_chunks.back();
    m_lines.push_back({static_cast<std::uint32_t>(m_chunks.size() - 1), static_cast<std::uint32_t>(chunk.size()),
                       static_cast<std::uint32_t>(line.size()) | (failed ? kFailedBit : 0)});
    chunk.append(line);
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
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_failed = 0;
    m_withdrawn = 0;
    ++m_clears;
    m_published = 0;
    endResetModel();
}

std::string_view LogModel::line(std::int64_t row) const
{
    const Place& place = m_lines[static_cast<std::size_t>(row)];
    return std::string_view(m_chunks[place.chunk]).substr(place.offset, place.length & ~kFailedBit);
}

bool LogModel::isFailed(std::int64_t row) const
{
    return (m_lines[static_cast<std::size_t>(row)].length & kFailedBit) != 0;
}

std::size_t LogModel::memoryBytes() const
{
    std::size_t bytes = m_lines.size() * sizeof(Place) + m_chunks.capacity() * sizeof(std::string);
    for (const std::string& chunk : m_chunks)
        bytes += chunk.capacity();
    return bytes;
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
