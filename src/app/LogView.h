#pragma once

#include <QAbstractScrollArea>

namespace sarvoli::app {

class LogModel;

// The run log's list: one line of text a row, 13 pixels high, a chosen row highlighted.
// It paints only the rows in sight and keeps no state a row, so a new batch of lines costs
// the same at a million lines as at ten (a QListView lays out every row again each time).
class LogView : public QAbstractScrollArea {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 13;

    LogView(LogModel& model, QWidget* parent = nullptr);

    void scrollToBottom();
    // The chosen row, or -1.
    int currentRow() const { return m_current; }
    // The first row in sight.
    int topRow() const;
    // The rows shown, and the text of one, as assistive technology reads them.
    int rowCount() const;
    QString rowText(int row) const;
    bool rowFailed(int row) const;
    // Where a row stands in the viewport; empty when it is out of sight.
    QRect rowRect(int row) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int rowsInSight() const;
    void updateRange();
    void choose(int row);
    // Tells assistive technology, when one listens, of an event of the list or of one row.
    void tellAccessibility(int type, int row = -1);

    LogModel& m_model;
    int m_current = -1;
};

}  // namespace sarvoli::app
