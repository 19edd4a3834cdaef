#pragma once

// The value texts of one history, one per iteration, kept compactly: a long
// run holds tens of thousands of them per variable and goal, and almost all
// are a number written the usual way (shortest, or %g with six significant
// digits), alone or followed by a unit ("2 pF"). So each entry keeps its
// number, and a list of runs says how each stretch of entries is written
// back: which of the two ways, and which unit text follows (a history
// rarely changes its way of writing, so there are few runs). A text that
// would not be written back identically ("1.50", " 1", "nan", prose) is
// kept as it came in a side table. at(i) always returns exactly the text
// that was appended; on the wire the list travels as a string list.
//
// numbers() holds one double per entry for the graphs: the text's value when
// it is a plain number (surrounding white space allowed), else NaN (a gap).
// Texts with a unit or an engineering suffix ("10 nH", "14.66p") are not
// read here: the model does not know the window's units rules. They are
// counted by unreadCount(), so a reader that wants them parses at(i) itself.

#include <QList>
#include <QString>
#include <QStringList>


class QDebug;

class OptimHistoryValues
{
public:
    OptimHistoryValues() = default;
    explicit OptimHistoryValues(const QStringList &texts);
    OptimHistoryValues &operator=(const QStringList &texts);

    qsizetype size() const { return m_numbers.size(); }
    bool isEmpty() const { return m_numbers.isEmpty(); }
    QString at(qsizetype i) const;
    QString first() const { return at(0); }
    QString last() const { return at(size() - 1); }
    // The text of entry i, or an empty text outside the list.
    QString value(qsizetype i) const { return i >= 0 && i < size() ? at(i) : QString(); }

    void append(const QString &text);
    void append(const OptimHistoryValues &other);
    OptimHistoryValues &operator<<(const QString &text) { append(text); return *this; }
    void removeLast();
    void clear();
    void reserve(qsizetype n);

    const QList<double> &numbers() const { return m_numbers; }
    // Entries that are neither empty nor a plain number (their number is NaN).
    qsizetype unreadCount() const { return m_unreadCount; }
    QStringList toStringList() const;

    // Walks the texts (each built on the way).
    class const_iterator
    {
    public:
        using value_type = QString;
        using difference_type = qsizetype;
        const_iterator(const OptimHistoryValues *values, qsizetype index) : m_values(values), m_index(index) {}
        QString operator*() const { return m_values->at(m_index); }
        const_iterator &operator++() { ++m_index; return *this; }
        bool operator==(const const_iterator &) const = default;

    private:
        const OptimHistoryValues *m_values;
        qsizetype m_index;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    friend bool operator==(const OptimHistoryValues &a, const OptimHistoryValues &b);
    friend bool operator==(const OptimHistoryValues &a, const QStringList &b);

private:
    enum Format : char { EmptyText, Shortest, SixDigits, Verbatim };
    struct Run
    {
        qsizetype start;      // first entry written this way
        qsizetype partStart;  // its number's place in m_parts, with a unit
        int unit;             // index in m_units, or -1: the number alone
        Format format;
    };
    struct VerbatimText
    {
        qsizetype index;
        QString text;
        bool unread;
        bool operator==(const VerbatimText &) const = default;
    };
    const Run &runAt(qsizetype i) const;
    void appendEntry(double number, Format format, int unit);
    void appendText(const QString &text);
    int unitIndex(QStringView unit);
    const QString &verbatimAt(qsizetype i) const;

    QList<double> m_numbers;
    QList<double> m_parts;            // the numbers of the texts with a unit
    QList<Run> m_runs;                // ascending start; neighbours differ
    QStringList m_units;              // the unit texts met, each once
    QList<VerbatimText> m_verbatim;   // ascending index
    qsizetype m_unreadCount = 0;
};

QDebug operator<<(QDebug debug, const OptimHistoryValues &values);
