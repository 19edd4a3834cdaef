#pragma once

// One series of a history graph: the values parsed once, with the minimum,
// the smallest positive value (for the log scale) and the maximum of each
// block of 64 points, so that the scale and the per-column envelope of a
// long history cost a few thousand steps instead of a million. Plain logic:
// the graph's range and drawing read it, nothing here draws.

#include "graphscale.h"

#include <QColor>
#include <QString>
#include <QStringList>

#include <cmath>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

class GraphSeriesData
{
    static constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    static constexpr double kInf = std::numeric_limits<double>::infinity();

    // Sample texts that check whether a new text list extends the one parsed
    // before: 32 spread over the list (the first among them) and the last 8.
    static constexpr int spreadSamples = 32;
    static constexpr qsizetype tailSamples = 8;

    static bool sameText(const QString &a, const QString &b)
    {
        // Texts handed on from the model share their data, so the pointer test
        // answers almost every comparison.
        return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
    }

    static bool sameValue(double stored, double given)
    {
        if (!std::isfinite(given))
            return std::isnan(stored);
        return stored == given;
    }

public:
    static constexpr qsizetype blockSize = 64;

    QString name;
    QColor color;
    bool colorSet = false;
    // The first index changed since the graph was last drawn, and since
    // its values were last scanned for the auto-scale.
    qsizetype changedFrom = 0;
    qsizetype scannedFrom = 0;

    qsizetype size() const { return qsizetype(values.size()); }
    double at(qsizetype i) const { return values[size_t(i)]; }
    const std::vector<double> &data() const { return values; }

    void clear()
    {
        changedFrom = 0;
        scannedFrom = 0;
        values.clear();
        blockMin.clear();
        blockMinPositive.clear();
        blockMax.clear();
        samples.clear();
        fromTexts = false;
    }

    void truncate(qsizetype n)
    {
        if (n >= size())
            return;
        values.resize(size_t(n));
        const size_t blocks = size_t((n + blockSize - 1) / blockSize);
        blockMin.resize(blocks);
        blockMinPositive.resize(blocks);
        blockMax.resize(blocks);
        if (blocks > 0)
            recomputeBlock(blocks - 1);
    }

    void append(double v)
    {
        if (!std::isfinite(v))
            v = kNaN;
        const size_t i = values.size();
        values.push_back(v);
        const size_t b = i / size_t(blockSize);
        if (b == blockMin.size()) {
            blockMin.push_back(kNaN);
            blockMinPositive.push_back(kNaN);
            blockMax.push_back(kNaN);
        }
        if (!std::isnan(v)) {
            if (!(v >= blockMin[b]))
                blockMin[b] = v;
            if (v > 0 && !(v >= blockMinPositive[b]))
                blockMinPositive[b] = v;
            if (!(v <= blockMax[b]))
                blockMax[b] = v;
        }
    }

    // Smallest and largest finite value of indices [from, to), only the
    // positive ones when positiveOnly (the log scale); false when there is
    // none (mn and mx are then untouched).
    bool minMax(qsizetype from, qsizetype to, double &mn, double &mx, bool positiveOnly = false) const
    {
        from = std::max<qsizetype>(from, 0);
        to = std::min(to, size());
        if (from >= to)
            return false;
        double lo = kInf;
        double hi = -kInf;
        auto scan = [&](qsizetype a, qsizetype b) {
            for (qsizetype i = a; i < b; ++i) {
                const double v = values[size_t(i)];
                if (positiveOnly && !(v > 0))
                    continue;
                lo = std::min(lo, v); // a NaN compares false and is skipped
                hi = std::max(hi, v);
            }
        };
        const std::vector<double> &mins = positiveOnly ? blockMinPositive : blockMin;
        const qsizetype firstFull = (from + blockSize - 1) / blockSize;
        const qsizetype lastFull = to / blockSize; // exclusive
        if (firstFull >= lastFull) {
            scan(from, to);
        } else {
            scan(from, firstFull * blockSize);
            for (qsizetype b = firstFull; b < lastFull; ++b) {
                lo = std::min(lo, mins[size_t(b)]);
                if (!positiveOnly || blockMax[size_t(b)] > 0)
                    hi = std::max(hi, blockMax[size_t(b)]);
            }
            scan(lastFull * blockSize, to);
        }
        // std::min(lo, NaN) keeps lo only when NaN is the second argument;
        // guard against a NaN having slipped into the first.
        if (!(lo <= hi) || std::isnan(lo) || std::isnan(hi))
            return false;
        mn = lo;
        mx = hi;
        return true;
    }

    // Takes values, processing only those past the part already held; true
    // when the series changed.
    bool setValues(const QList<double> &given)
    {
        const qsizetype n = given.size();
        const qsizetype before = size();
        // A history only grows at its end (or loses its last entries), so the
        // values already held are checked at spread samples and at the tail
        // rather than one by one: a long run costs the same per update. The
        // held values themselves are compared (parsed from texts or not), so
        // a list that replaces its last entries keeps the part in front.
        qsizetype keep = std::min(n, before);
        auto differs = [&](qsizetype i) { return !sameValue(values[size_t(i)], given.at(i)); };
        for (int k = 0; k < spreadSamples && keep > 0; ++k) {
            if (differs(keep * k / spreadSamples))
                keep = 0;
        }
        for (qsizetype i = std::max<qsizetype>(0, keep - tailSamples); i < keep; ++i) {
            if (differs(i)) {
                keep = i;
                break;
            }
        }
        fromTexts = false;
        samples.clear();
        if (keep == before && n == before)
            return false;
        changedFrom = std::min(changedFrom, keep);
        scannedFrom = std::min(scannedFrom, keep);
        if (keep == 0)
            clear();
        else
            truncate(keep);
        reserveFor(n);
        for (qsizetype i = keep; i < n; ++i)
            append(given.at(i));
        return true;
    }

    // Takes value texts, parsing only those past the unchanged part; true
    // when anything was parsed or dropped.
    bool setTexts(const QStringList &texts)
    {
        return setTextsFrom(texts.size(), [&texts](qsizetype i) { return texts.at(i); });
    }

    // The same for n texts read one by one through textAt(i) (a history
    // that builds its texts on demand): the unchanged part is judged from
    // the samples, so only those and the new texts are read.
    template<typename TextAt>
    bool setTextsFrom(qsizetype n, TextAt textAt)
    {
        const qsizetype before = size();
        // Keep the parsed values up to the last sample that still matches,
        // checking the samples from the front; a history that lost its last
        // entries and gained new ones is reparsed from the first changed
        // sample on (the tail samples make that the changed entries only).
        qsizetype keep = 0;
        if (fromTexts) {
            for (const auto &[index, text] : samples) {
                if (index >= n || !sameText(textAt(index), text))
                    break;
                keep = index + 1;
            }
        }
        changedFrom = std::min(changedFrom, keep);
        scannedFrom = std::min(scannedFrom, keep);
        if (keep == 0)
            clear();
        else
            truncate(keep);
        reserveFor(n);
        for (qsizetype i = keep; i < n; ++i) {
            const std::optional<double> v = GraphScale::parseValue(textAt(i));
            append(v ? *v : kNaN);
        }
        fromTexts = true;
        samples.clear();
        if (n > 0) {
            std::vector<qsizetype> positions;
            for (int k = 0; k < spreadSamples; ++k)
                positions.push_back(n * k / spreadSamples);
            for (qsizetype i = std::max<qsizetype>(0, n - tailSamples); i < n; ++i)
                positions.push_back(i);
            std::sort(positions.begin(), positions.end());
            positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
            for (qsizetype index : positions)
                samples.emplace_back(index, textAt(index));
        }
        return keep != before || n != before;
    }

private:
    // Room for n values, growing geometrically: a history that gains one
    // entry per call must not be copied on every call.
    void reserveFor(qsizetype n)
    {
        if (size_t(n) > values.capacity())
            values.reserve(std::max(size_t(n), values.capacity() * 2));
    }

    void recomputeBlock(size_t b)
    {
        double lo = kNaN;
        double loPositive = kNaN;
        double hi = kNaN;
        const size_t end = std::min(values.size(), (b + 1) * size_t(blockSize));
        for (size_t i = b * size_t(blockSize); i < end; ++i) {
            const double v = values[i];
            if (std::isnan(v))
                continue;
            if (!(v >= lo))
                lo = v;
            if (v > 0 && !(v >= loPositive))
                loPositive = v;
            if (!(v <= hi))
                hi = v;
        }
        blockMin[b] = lo;
        blockMinPositive[b] = loPositive;
        blockMax[b] = hi;
    }

    std::vector<double> values; // NaN marks a gap
    std::vector<double> blockMin;
    std::vector<double> blockMinPositive; // NaN: no positive value
    std::vector<double> blockMax;
    bool fromTexts = false;
    std::vector<std::pair<qsizetype, QString>> samples;
};

