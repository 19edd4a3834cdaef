#include "recordfactory.h"

#include "model/optimizationmodel.h"

#include <functional>
#include <map>

namespace {

using Factory = std::function<std::unique_ptr<OptimSerializationIFC>()>;

template <typename T>
void add(std::map<QByteArray, Factory> &map)
{
    map.emplace(QByteArray(T().tag()), [] { return std::make_unique<T>(); });
}

template <typename T>
void addList(std::map<QByteArray, Factory> &map)
{
    add<T>(map);
    add<OptimItemList<T>>(map);
}

const std::map<QByteArray, Factory> &factories()
{
    static const std::map<QByteArray, Factory> map = [] {
        std::map<QByteArray, Factory> m;
        addList<OptimGoalRange>(m);
        addList<OptimGoalLimitInput>(m);
        addList<OptimGoalInput>(m);
        addList<OptimVarInput>(m);
        add<OptimAlgInput>(m);
        add<OptimModelInput>(m);
        add<OptimAlgOutput>(m);
        add<OptimAlgHistory>(m);
        addList<OptimVarOutput>(m);
        addList<OptimVarHistory>(m);
        addList<OptimGoalLimitOutput>(m);
        add<OptimGoalLimitHistory>(m);
        add<OptimTraceValues>(m);
        addList<OptimTraceVar>(m);
        addList<OptimTrace>(m);
        add<OptimTraceFamily>(m);
        addList<OptimGoalOutput>(m);
        addList<OptimGoalHistory>(m);
        add<OptimModelOutput>(m);
        add<OptimModelHistory>(m);
        add<OptimizationModel>(m);
        add<OptimStatus>(m);
        add<OptimIter>(m);
        add<OptimIterSimResult>(m);
        add<OptimIterNoProgress>(m);
        add<OptimIterCollapsedIterations>(m);
        add<OptimIterVariableValues>(m);
        add<OptimIterVariableDefinitions>(m);
        add<OptimIterGoalDefinitions>(m);
        add<OptimIterAlgorithmDefinition>(m);
        return m;
    }();
    return map;
}

} // namespace

std::unique_ptr<OptimSerializationIFC> makeRecord(const QByteArray &word)
{
    const auto it = factories().find(word);
    return it == factories().end() ? nullptr : it->second();
}

QStringList knownRecordWords()
{
    QStringList words;
    for (const auto &entry : factories())
        words.append(QString::fromLatin1(entry.first));
    return words;
}
