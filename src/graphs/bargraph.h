#pragma once

// A horizontal bar graph: one row per item with its label, a bar whose
// length shows the item's value and the value as text. One bar at a time is
// selected (highlighted); a click selects a bar.
//
// BarGraphBar   one row; emits selected() and deselected() when its state
//               changes.
// BarGraphLayout  stacks the rows at their height and gives them a common
//               label column.
// BarGraph      owns the rows; emits barSelected(int) and
//               barSelected(QWidget *) when the user selects a bar;
//               setBarSelected() and clearSelection() change the selection
//               without emitting barSelected.

#include <QColor>
#include <QLayout>
#include <QList>
#include <QWidget>

class BarGraphBar : public QWidget
{
    Q_OBJECT

public:
    explicit BarGraphBar(QWidget *parent = nullptr);

    QString label() const { return m_label; }
    void setLabel(const QString &label);
    // Bar length as a fraction of the full length (clamped to 0..1; NaN
    // draws no bar) and the text written beside it.
    double fraction() const { return m_fraction; }
    QString valueText() const { return m_valueText; }
    void setValue(double fraction, const QString &valueText);
    // The value text as the row at its width writes it: whole when the bar
    // area can make room for it (the bar shortens), else elided; the
    // tooltip always names the label and the whole value.
    QString shownValueText() const;
    // An inactive bar draws no bar and its text in grey.
    bool isActive() const { return m_active; }
    void setActive(bool active);
    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    bool isStale() const { return m_stale; }
    void setStale(bool stale);
    // Width of the label column (set by BarGraphLayout).
    void setLabelWidth(int width);
    int labelWidthHint() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void selected();
    void deselected();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void updateToolTip();
    // The bar's full length and where its text starts for a bar barWidth
    // long, at the row's width.
    int trackWidth() const;
    int barWidth() const;
    QRect valueRect(int barWidth) const;

    QString m_label;
    QString m_valueText;
    double m_fraction = 0;
    bool m_active = true;
    bool m_selected = false;
    bool m_stale = false;
    int m_labelWidth = 60;
    QColor m_color = QColor(0x1f, 0x77, 0xb4);
};

class BarGraphLayout : public QLayout
{
public:
    explicit BarGraphLayout(QWidget *parent = nullptr);
    ~BarGraphLayout() override;

    void addItem(QLayoutItem *item) override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    int count() const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;
    Qt::Orientations expandingDirections() const override { return Qt::Horizontal; }

    // The common label width for a row width (at most 40 % of it).
    int labelWidthFor(int width) const;

private:
    QList<QLayoutItem *> m_items;
};

class BarGraph : public QWidget
{
    Q_OBJECT

public:
    explicit BarGraph(QWidget *parent = nullptr);

    int barCount() const { return int(m_bars.size()); }
    BarGraphBar *bar(int index) const;
    BarGraphBar *addBar(const QString &label);
    // Keeps count bars, adding or deleting at the end.
    void setBarCount(int count);
    // Index of the selected bar or -1.
    int selectedBar() const;
    // Shown while there is no bar.
    void setEmptyText(const QString &text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public Q_SLOTS:
    void setBarSelected(int index);
    void clearSelection();

Q_SIGNALS:
    void barSelected(int index);
    void barSelected(QWidget *item);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void handleSelected(BarGraphBar *bar);

    QList<BarGraphBar *> m_bars;
    BarGraphLayout *m_layout;
    QString m_emptyText;
    bool m_programmatic = false;
};
