#pragma once

// The column of equally tall rows inside a scroll area, one row per index,
// as the variables panel shows them (a slider or a history graph per
// variable). A row widget is made only when it first comes into sight (or
// is asked for), by the factory the view sets: opening a design of 10,000
// variables makes the dozen rows on screen, not 10,000. Made rows are kept
// while few; once more than keptRows are made, the rows far out of sight
// go (rowDropped) and are made anew when they come back, except a row
// that holds the focus or that the view keeps (setKeepRow: typed text).
//
// The column places its rows itself, row i at margin + i·(height + spacing),
// and is as tall as all its rows together, so the scroll bar and the
// scrolling are those of the full column. Tab and Shift+Tab walk the rows
// in their order (making the next row when needed) and scroll it into
// sight; past the first or the last row they leave the column.

#include <QColor>
#include <QHash>
#include <QWidget>

#include <functional>
#include <map>

class QScrollArea;

class VarRowColumn : public QWidget
{
    Q_OBJECT

public:
    // Makes row i as a child of the column (the column places and shows it).
    using RowFactory = std::function<QWidget *(int index)>;

    VarRowColumn(int spacing, const QColor &selectionColor, QWidget *parent = nullptr);

    void setRowFactory(RowFactory factory) { m_factory = std::move(factory); }
    // Whether a made row far out of sight must stay all the same.
    void setKeepRow(std::function<bool(QWidget *row)> keep) { m_keep = std::move(keep); }
    // Past this many made rows, rows far out of sight go.
    static constexpr int keptRows = 200;
    // Drops every row (deleted later: a row may be the sender of what made
    // the column anew) and takes a new count.
    void reset(int count);
    int count() const { return m_count; }
    // The row at index, made now if it was not made yet; null out of range.
    QWidget *row(int index);
    // The row at index if it was made, else null.
    QWidget *madeRow(int index) const;
    // The rows made so far, by index.
    const std::map<int, QWidget *> &madeRows() const { return m_made; }
    // The index of a row made here (or of a widget in it); -1 for none.
    int indexOf(const QWidget *widget) const;

    // A fixed row height; 0 takes the size hint of the first row made.
    void setRowHeight(int height);
    int rowHeight() const { return m_rowHeight; }
    int spacing() const { return m_spacing; }
    QRect rowRect(int index) const;
    // The first and last index in sight of the scroll area (first > last:
    // none). Hidden or not, the column's place in the viewport counts.
    std::pair<int, int> indicesInSight() const;
    // Scrolls the row at index into sight (making it as it shows).
    void ensureRowVisible(int index);

    // The highlighted row (-1: none).
    void setSelectedIndex(int index);
    int selectedIndex() const { return m_selected; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // A row was made (and placed); the view sets it up before it shows.
    void rowMade(int index, QWidget *row);
    // A row goes (deleted later): far out of sight, or all rows on reset.
    // A row far out of sight is made anew, from the model as it is then,
    // when it comes back into sight.
    void rowDropped(int index, QWidget *row);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    QScrollArea *scrollArea() const;
    void makeRowsInSight();
    // Drops rows far out of sight once there are more than keptRows.
    void dropRowsOutOfSight(int first, int last);
    void placeRows();
    // The scroll area takes the column's new height.
    void heightChanged();
    // Focus to the first (or last) control of row index that takes Tab.
    bool focusInRow(int index, bool first);

    RowFactory m_factory;
    std::function<bool(QWidget *)> m_keep;
    int m_count = 0;
    int m_spacing;
    int m_rowHeight = 0;
    bool m_fixedHeight = false;
    int m_minimumWidth = 0;
    int m_selected = -1;
    QColor m_selectionColor;
    std::map<int, QWidget *> m_made;
    QHash<const QWidget *, int> m_indexOf;
    bool m_making = false;
};
