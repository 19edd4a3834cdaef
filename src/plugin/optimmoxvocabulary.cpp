#include "optimmoxvocabulary.h"

#include "design/optimdesignwords.h"
#include "design/optimgoalparametermap.h"
#include "editors/goaltablewidget.h"
#include "hostifc/moxifc.h"
#include "plugin/optimhelmdeckplugin.h"
#include "units/realstring.h"

#include <QPointer>

#include <memory>

namespace {

// The goal table widgets these words handed to the host, as long as they
// live: a handle the host keeps longer than its widget reads as none. The
// vocabulary holds the list, so each interpreter knows only its own.
class GoalTableHandles
{
public:
    void add(GoalTableWidget *widget)
    {
        m_widgets.removeIf([](const QPointer<GoalTableWidget> &p) { return p.isNull(); });
        m_widgets.append(widget);
    }
    // The live widget at pointer, or null; the pointer is only compared,
    // never followed.
    GoalTableWidget *find(const void *pointer) const
    {
        for (const QPointer<GoalTableWidget> &widget : m_widgets) {
            if (pointer && widget && static_cast<const void *>(static_cast<QWidget *>(widget.data())) == pointer)
                return widget.data();
        }
        return nullptr;
    }

private:
    QList<QPointer<GoalTableWidget>> m_widgets;
};

// Argument readers: each clears ok on failure and never sets it.
QByteArray readString(MoxIFC *mox, const MoxArgs *args, int index, bool &ok)
{
    MoxValue *value = nullptr;
    QByteArray text;
    if (!mox->argumentAs(args, index, mox->stringType(), value) || !mox->readText(value, text))
        ok = false;
    mox->release(value);
    return text;
}

bool readBool(MoxIFC *mox, const MoxArgs *args, int index, bool &ok)
{
    MoxValue *value = nullptr;
    bool flag = false;
    if (!mox->argumentAs(args, index, mox->boolType(), value) || !mox->readBool(value, flag))
        ok = false;
    mox->release(value);
    return flag;
}

qint64 readInt(MoxIFC *mox, const MoxArgs *args, int index, bool &ok)
{
    MoxValue *value = nullptr;
    qint64 number = 0;
    if (!mox->argumentAs(args, index, mox->integerType(), value) || !mox->readInt(value, number))
        ok = false;
    mox->release(value);
    return number;
}

// The integer argument 0, none when it is missing or of another kind.
std::optional<qint64> readIndex(MoxIFC *mox, const MoxArgs *args)
{
    bool ok = true;
    const qint64 index = readInt(mox, args, 0, ok);
    return ok ? std::optional<qint64>(index) : std::nullopt;
}

MoxValue *makeBool(MoxIFC *mox, bool value)
{
    return value ? mox->makeTrue() : mox->makeFalse();
}

// A new goal table widget holding the goal the parameter-information list
// describes, as a "QtWidget" object the host takes over; the map's
// "analyses" and "exprs" values become the pull-downs' choices.
MoxValue *goalTableWidget(MoxIFC *mox, const MoxArgs *args, GoalTableHandles &handles)
{
    const MoxTypeId widgetType = mox->findType("QtWidget");
    MoxValue *info = nullptr;
    if (widgetType == 0 || !mox->argumentAs(args, 0, mox->parameterListType(), info))
        return nullptr;
    OptimGoalParameterMap map;
    const bool read = optimgoalmap::fromParameterInfo(mox, info, map);
    mox->release(info);
    if (!read)
        return nullptr;
    optimgoalmap::upgradeOldForm(map);
    GoalTableWidget *table = GoalTableWidget::forGoal(optimgoalmap::toGoal(map), map.value(QStringLiteral("analyses")),
                                                      map.value(QStringLiteral("exprs")));
    QWidget *widget = table;
    MoxValue *object = mox->makeObject(widgetType, widget);
    if (!object)
        delete widget;
    else
        handles.add(table);
    return object;
}

// The goal of a live goal table widget as a parameter-information list;
// null for any other object, a widget that is gone, or a goal with faults.
MoxValue *goalTableWidgetState(MoxIFC *mox, const MoxArgs *args, const GoalTableHandles &handles)
{
    const MoxTypeId widgetType = mox->findType("QtWidget");
    MoxValue *object = nullptr;
    if (widgetType == 0 || !mox->argumentAs(args, 0, widgetType, object))
        return nullptr;
    GoalTableWidget *widget = handles.find(mox->objectPointer(object, widgetType));
    mox->release(object);
    const std::optional<OptimGoalInput> goal = widget ? widget->validGoal() : std::nullopt;
    return goal ? optimdesignwords::goalParameterInfo(mox, *goal) : nullptr;
}

} // namespace

bool registerOptimMoxVocabulary(MoxIFC *mox, OptimHelmdeckPlugin *plugin)
{
    using W = MoxWord;
    const auto handles = std::make_shared<GoalTableHandles>();
    QList<MoxWord> words{
        W::constantWord("optimHelmdeck_pluginLoaded", mox->makeInteger(1)),
        W::functionWord("optimHelmdeck_messageHandler", [mox](const MoxArgs *) { return mox->makeFalse(); }),
        W::functionWord("optimHelmdeck_okToStartNewSimulation",
                        [mox, plugin](const MoxArgs *) { return makeBool(mox, plugin->okToStartNewSimulation()); }),
        W::functionWord("optimHelmdeck_simulatorBeingClosed",
                        [mox, plugin](const MoxArgs *args) {
                            if (mox->argumentType(args, 0) == mox->stringType()) {
                                bool ok = true;
                                const QByteArray id = readString(mox, args, 0, ok);
                                const bool flag = readBool(mox, args, 1, ok);
                                if (ok)
                                    plugin->simulatorGone(id, flag);
                            }
                            return mox->makeFalse();
                        }),
        W::functionWord("optimHelmdeck_closeHelmdeck",
                        [mox, plugin](const MoxArgs *args) {
                            if (!plugin->controller())
                                return mox->makeTrue();
                            bool ok = true;
                            const bool withoutQuestions = readBool(mox, args, 0, ok);
                            const bool askOnClose = readBool(mox, args, 1, ok);
                            if (!ok)
                                return mox->makeFalse();
                            return makeBool(mox, plugin->closeHelmdeck(withoutQuestions, askOnClose));
                        }),
        W::functionWord("optimHelmdeck_variableIsValid",
                        [mox, plugin](const MoxArgs *args) {
                            return optimdesignwords::variableIsValid(mox, plugin->currentInput(), readIndex(mox, args));
                        }),
        W::functionWord("optimHelmdeck_fetchVariable",
                        [mox, plugin](const MoxArgs *args) {
                            return optimdesignwords::fetchVariable(mox, plugin->currentInput(), readIndex(mox, args));
                        }),
        W::functionWord("optimHelmdeck_fetchGoal",
                        [mox, plugin](const MoxArgs *args) {
                            return optimdesignwords::fetchGoal(mox, plugin->currentInput(), readIndex(mox, args));
                        }),
        W::functionWord("optimHelmdeck_fetchAlgorithm",
                        [mox, plugin](const MoxArgs *args) {
                            return optimdesignwords::fetchAlgorithm(mox, plugin->currentInput(),
                                                                    readIndex(mox, args).has_value());
                        }),
        W::functionWord("optimHelmdeck_getGoalTableWidget",
                        [mox, handles](const MoxArgs *args) { return goalTableWidget(mox, args, *handles); }),
        W::functionWord("optimHelmdeck_getGoalTableWidgetState",
                        [mox, handles](const MoxArgs *args) { return goalTableWidgetState(mox, args, *handles); }),
        W::functionWord("optimHelmdeck_getGoalNetlist",
                        [mox](const MoxArgs *args) -> MoxValue * {
                            MoxValue *info = nullptr;
                            if (!mox->argumentAs(args, 0, mox->parameterListType(), info))
                                return nullptr;
                            MoxValue *netlist = optimdesignwords::goalNetlist(mox, info);
                            mox->release(info);
                            return netlist;
                        }),
        W::functionWord("optimHelmdeck_valueWithUnits",
                        [mox](const MoxArgs *args) -> MoxValue * {
                            bool ok = true;
                            const QByteArray value = readString(mox, args, 0, ok);
                            const QByteArray units = readString(mox, args, 1, ok);
                            if (!ok)
                                return nullptr;
                            RealString real(QString::fromUtf8(value), QString::fromUtf8(units));
                            real.setDesiredUnits(QString::fromUtf8(units));
                            real.setAllowScaling(true);
                            if (!real.isAcceptable())
                                return nullptr;
                            return mox->makeString(real.scaledValueWithUnits(6).toUtf8());
                        }),
    };
    return mox->registerVocabulary("CmdOp", words);
}
