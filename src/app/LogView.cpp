#include "app/LogView.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QClipboard>
#include <QGuiApplication>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>

#include <algorithm>
#include <utility>

#include "app/LocalText.h"
#include "app/LogModel.h"

namespace sarvoli::app {

namespace {

// One line of the log as assistive technology sees it: a list item whose name is the line.
// It reads the view live, so an item stays right when the log is emptied and filled again.
class LogItemAccessible : public QAccessibleInterface {
public:
    LogItemAccessible(LogView* view, int row) : m_view(view), m_row(row) {}

    int row() const { return m_row; }
    bool isValid() const override { return m_view && m_row < m_view->rowCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_view); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return {};
        if (t == QAccessible::Name)
            return m_view->rowText(m_row);
        // A failure line says so apart from its colour.
        if (t == QAccessible::Description && m_view->rowFailed(m_row))
            return QStringLiteral("epäonnistui");
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect r = m_view->rowRect(m_row);
        return r.isEmpty() ? r : QRect(m_view->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.selectable = true;
        s.focusable = true;
        s.selected = m_view->currentRow() == m_row;
        s.focused = s.selected && m_view->hasFocus();
        s.offscreen = m_view->rowRect(m_row).isEmpty();
        s.invisible = s.offscreen;
        return s;
    }

private:
    QPointer<LogView> m_view;
    int m_row;
};

// The log as a list whose items are its lines; an item is made only when asked for.
class LogViewAccessible : public QAccessibleWidget {
public:
    explicit LogViewAccessible(LogView* view) : QAccessibleWidget(view, QAccessible::List) {}
    ~LogViewAccessible() override
    {
        for (const QAccessible::Id id : std::as_const(m_items))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return view()->rowCount(); }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= view()->rowCount())
            return nullptr;
        if (const auto it = m_items.constFind(index); it != m_items.constEnd())
            return QAccessible::accessibleInterface(*it);
        auto* item = new LogItemAccessible(view(), index);
        m_items.insert(index, QAccessible::registerAccessibleInterface(item));
        return item;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        const auto* item = dynamic_cast<const LogItemAccessible*>(child);
        return item && item->parent() == this && item->isValid() ? item->row() : -1;
    }
    QAccessibleInterface* focusChild() const override { return child(view()->currentRow()); }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QPoint p = view()->viewport()->mapFromGlobal(QPoint(x, y));
        if (!view()->viewport()->rect().contains(p))
            return nullptr;
        return child(view()->topRow() + p.y() / LogView::kRowHeight);
    }

private:
    LogView* view() const { return static_cast<LogView*>(widget()); }

    mutable QHash<int, QAccessible::Id> m_items;
};

QAccessibleInterface* logViewAccessible(const QString&, QObject* object)
{
    auto* view = qobject_cast<LogView*>(object);
    return view ? new LogViewAccessible(view) : nullptr;
}

}  // namespace

LogView::LogView(LogModel& model, QWidget* parent) : QAbstractScrollArea(parent), m_model(model)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(logViewAccessible);
        return true;
    }();
    (void)factoryInstalled;
    setAccessibleName(QStringLiteral("Kopiointiloki"));
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
    connect(&m_model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
        updateRange();
        if (QAccessible::isActive()) {
            QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::RowsInserted);
            event.setFirstRow(first);
            event.setLastRow(last);
            QAccessible::updateAccessibility(&event);
        }
    });
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_current = -1;
        updateRange();
        verticalScrollBar()->setValue(0);
        if (QAccessible::isActive()) {
            QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::ModelReset);
            QAccessible::updateAccessibility(&event);
        }
    });
}

int LogView::rowCount() const { return m_model.rowCount(); }

QString LogView::rowText(int row) const { return fromLocal(m_model.line(row)); }

bool LogView::rowFailed(int row) const { return m_model.isFailed(row); }

QRect LogView::rowRect(int row) const
{
    if (row < topRow() || row > topRow() + rowsInSight())
        return {};
    return QRect(0, (row - topRow()) * kRowHeight, viewport()->width(), kRowHeight);
}

void LogView::tellAccessibility(int type, int row)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(this, static_cast<QAccessible::Event>(type));
    if (row >= 0)
        event.setChild(row);
    QAccessible::updateAccessibility(&event);
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
    tellAccessibility(QAccessible::Selection, m_current);
    if (hasFocus())
        tellAccessibility(QAccessible::Focus, m_current);
}

void LogView::mousePressEvent(QMouseEvent* event)
{
    const int row = topRow() + static_cast<int>(event->position().y()) / kRowHeight;
    if (row < m_model.rowCount())
        choose(row);
}

void LogView::keyPressEvent(QKeyEvent* event)
{
    // The chosen line as text, so that a failing path can be pasted elsewhere.
    if (event->matches(QKeySequence::Copy)) {
        if (m_current >= 0)
            QGuiApplication::clipboard()->setText(rowText(m_current));
        return;
    }
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
