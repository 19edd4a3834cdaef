#pragma once

// A serializable list of records. The element class names the list through
// its static member listName; that name is the list's tag and the name in
// its array words ("START_ARRAY_<name> <count>" ... "END_ARRAY_<name>").

#include "optimserialization.h"

#include <QList>

template <typename T>
class OptimItemList : public OptimSerializationIFC
{
public:
    using value_type = T;

    OptimItemList() : OptimSerializationIFC(T::listName) {}
    OptimItemList(std::initializer_list<T> items) : OptimSerializationIFC(T::listName), m_items(items) {}

    void serialize(OptimSerialWriter &writer) const override;
    // Reads into a temporary and replaces this list only when the array end
    // was read; a huge announced count allocates nothing ahead, the loop
    // stops at the first failing element.
    void deserialize(OptimSerialReader &reader) override;

    qsizetype count() const { return m_items.size(); }
    qsizetype size() const { return m_items.size(); }
    bool isEmpty() const { return m_items.isEmpty(); }
    const T &at(qsizetype i) const { return m_items.at(i); }
    const T &operator[](qsizetype i) const { return m_items[i]; }
    // One detach check where QList's own operator[] makes two.
    T &operator[](qsizetype i)
    {
        Q_ASSERT(i >= 0 && i < m_items.size());
        return m_items.data()[i];
    }
    // The items in place, detached once: for a loop over all of them that
    // runs no code which could reach the list meanwhile.
    T *data() { return m_items.data(); }
    const T &first() const { return m_items.first(); }
    const T &last() const { return m_items.last(); }
    T &last() { return m_items.last(); }
    void append(const T &item) { m_items.append(item); }
    void removeAt(qsizetype i) { m_items.removeAt(i); }
    void replace(qsizetype i, const T &item) { m_items.replace(i, item); }
    void clear() { m_items.clear(); }

    const QList<T> &items() const { return m_items; }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }
    auto begin() { return m_items.begin(); }
    auto end() { return m_items.end(); }

    bool operator==(const OptimItemList &other) const { return m_items == other.m_items; }

private:
    QList<T> m_items;
};

// Defined outside the class so that the lists the model declares with
// OPTIM_EXTERN_ITEM_LIST are instantiated once, in the model's sources.
template <typename T>
void OptimItemList<T>::serialize(OptimSerialWriter &writer) const
{
    writer.writeArrayStart(tag(), m_items.size());
    for (const T &item : m_items)
        item.serialize(writer);
    writer.writeArrayEnd(tag());
}

template <typename T>
void OptimItemList<T>::deserialize(OptimSerialReader &reader)
{
    QList<T> temporary;
    int count = 0;
    if (!reader.readArrayStart(tag(), count))
        return;
    for (int i = 0; i < count && !reader.hasError(); ++i) {
        T item;
        item.deserialize(reader);
        if (!reader.hasError())
            temporary.append(item);
    }
    if (reader.readArrayEnd(tag()))
        m_items = std::move(temporary);
}

#define OPTIM_EXTERN_ITEM_LIST(T) extern template class OptimItemList<T>;
#define OPTIM_DEFINE_ITEM_LIST(T) template class OptimItemList<T>;
