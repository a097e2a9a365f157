#pragma once

#include <QAbstractListModel>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace sarvoli::app {

// The run log: lines kept compactly in buffers of a megabyte each, never moved once written, so
// that a long log never stops the window to copy itself into a larger one. Appended lines reach
// the view only when `publish` is called, so a fast run tells the view about new lines once per
// repaint, not once per line.
class LogModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit LogModel(QObject* parent = nullptr);

    void append(std::string_view line, bool failed);
    // Copies that lines already appended counted turned out not to be copies.
    void withdraw(std::int64_t count) { m_withdrawn += count; }
    // Tells the view about the lines appended since the last call; true when there were any.
    bool publish();
    void clear();

    // Every line, published or not.
    std::int64_t lineCount() const { return static_cast<std::int64_t>(m_lines.size()); }
    std::int64_t failedCount() const { return m_failed; }
    // The lines of copies that stand: neither failed nor withdrawn since.
    std::int64_t copiedCount() const { return std::max<std::int64_t>(lineCount() - m_failed - m_withdrawn, 0); }
    // How many times the log has been emptied.
    std::uint64_t clears() const { return m_clears; }
    std::string_view line(std::int64_t row) const;
    bool isFailed(std::int64_t row) const;
    // Bytes that the stored lines take.
    std::size_t memoryBytes() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    // Where a line is: its buffer, its start there, and its length, whose top bit marks a failed copy.
    struct Place {
        std::uint32_t chunk;
        std::uint32_t offset;
        std::uint32_t length;
    };
    std::vector<std::string> m_chunks;
    std::deque<Place> m_lines;
    std::int64_t m_failed = 0;
    std::int64_t m_withdrawn = 0;
    std::uint64_t m_clears = 0;
    int m_published = 0;
};

}  // namespace sarvoli::app
