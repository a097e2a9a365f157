#include "app/LogView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

#include "app/LocalText.h"
#include "app/LogModel.h"

namespace sarvoli::app {

LogView::LogView(LogModel& model, QWidget* parent) : QAbstractScrollArea(parent), m_model(model)
{
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, &LogView::updateRange);
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_current = -1;
        updateRange();
        verticalScrollBar()->setValue(0);
    });
}

int LogView::rowsInSight() const { return std::max(1, viewport()->height() / kRowHeight); }

int LogView::topRow() const { return verticalScrollBar()->value(); }

void LogView::updateRange()
{
    verticalScrollBar()->setRange(0, std::max(0, m_model.rowCount() - rowsInSight()));
    verticalScrollBar()->setPageStep(rowsInSight());
    viewport()->update();
}

void LogView::scrollToBottom() { verticalScrollBar()->setValue(verticalScrollBar()->maximum()); }

void LogView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateRange();
}

void LogView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const int first = topRow();
    const int last = std::min(m_model.rowCount(), first + rowsInSight() + 1);
    const int ascent = fontMetrics().ascent();
    const int textTop = (kRowHeight - fontMetrics().height()) / 2;
    for (int row = first; row < last; ++row) {
        const int y = (row - first) * kRowHeight;
        QColor colour = palette().color(QPalette::Text);
        if (row == m_current) {
            painter.fillRect(0, y, viewport()->width(), kRowHeight, palette().color(QPalette::Highlight));
            colour = palette().color(QPalette::HighlightedText);
        } else if (m_model.isFailed(row)) {
            colour = QColor(0xB0, 0x00, 0x00);
        }
        painter.setPen(colour);
        painter.drawText(2, y + textTop + ascent, fromLocal(m_model.line(row)));
    }
}

void LogView::choose(int row)
{
    if (m_model.rowCount() == 0)
        return;
    m_current = std::clamp(row, 0, m_model.rowCount() - 1);
    if (m_current < topRow())
        verticalScrollBar()->setValue(m_current);
    else if (m_current >= topRow() + rowsInSight())
        verticalScrollBar()->setValue(m_current - rowsInSight() + 1);
    viewport()->update();
}

void LogView::mousePressEvent(QMouseEvent* event)
{
    const int row = topRow() + static_cast<int>(event->position().y()) / kRowHeight;
    if (row < m_model.rowCount())
        choose(row);
}

void LogView::keyPressEvent(QKeyEvent* event)
{
    const int from = m_current < 0 ? topRow() : m_current;
    switch (event->key()) {
    case Qt::Key_Up: choose(from - 1); break;
    case Qt::Key_Down: choose(m_current < 0 ? from : from + 1); break;
    case Qt::Key_PageUp: choose(from - rowsInSight()); break;
    case Qt::Key_PageDown: choose(from + rowsInSight()); break;
    case Qt::Key_Home: choose(0); break;
    case Qt::Key_End: choose(m_model.rowCount() - 1); break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
}

}  // namespace sarvoli::app
